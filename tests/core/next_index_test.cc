// The row-major odometer: every position of a box once, in the order of its
// row-major offsets, the stepped dimensions only, and back at zero after the
// last position.
#include <gtest/gtest.h>
#include <libqvp/next_index.h>

#include <vector>

namespace libqvp {
namespace {

// The index of row-major offset `k` in dimensions [first, last) of `count`,
// the other dimensions at `fixed`.
std::vector<size_t> unravel(size_t k, const std::vector<size_t>& count,
                            size_t first, size_t last, size_t fixed) {
  std::vector<size_t> index(count.size(), fixed);
  for (size_t d = last; d-- > first;) {
    index[d] = k % count[d];
    k /= count[d];
  }
  return index;
}

struct Walk {
  std::vector<size_t> count;
  size_t first, last;
};

TEST(NextIndex, VisitsEveryPositionInRowMajorOrder) {
  const Walk walks[] = {
      {{4}, 0, 1},       {{2, 3, 4}, 0, 3}, {{3, 1, 2}, 0, 3},
      {{2, 3, 4}, 1, 3}, {{2, 3, 4}, 0, 2}, {{5, 2, 3, 2}, 1, 3},
      {{1, 1, 1}, 0, 3},
  };
  for (const Walk& w : walks) {
    size_t positions = 1;
    for (size_t d = w.first; d < w.last; ++d) positions *= w.count[d];
    // Dimensions outside [first, last) hold a value the walk must keep.
    std::vector<size_t> index = unravel(0, w.count, w.first, w.last, 7);
    for (size_t k = 1; k < positions; ++k) {
      ASSERT_TRUE(next_index(index, w.count, w.first, w.last)) << k;
      EXPECT_EQ(index, unravel(k, w.count, w.first, w.last, 7)) << k;
    }
    EXPECT_FALSE(next_index(index, w.count, w.first, w.last));
    EXPECT_EQ(index, unravel(0, w.count, w.first, w.last, 7));
  }
}

TEST(NextIndex, EmptyRangeAndWholeVector) {
  std::vector<size_t> index{1, 2};
  EXPECT_FALSE(next_index(index, {3, 3}, 1, 1));
  EXPECT_EQ(index, (std::vector<size_t>{1, 2}));
  EXPECT_TRUE(next_index(index, {3, 3}));
  EXPECT_EQ(index, (std::vector<size_t>{2, 0}));
  index = {2, 2};
  EXPECT_FALSE(next_index(index, {3, 3}));
  EXPECT_EQ(index, (std::vector<size_t>{0, 0}));
}

}  // namespace
}  // namespace libqvp
