// The row-major odometer: the step from one position of a box to the next,
// the last dimension fastest. The array's own walks, the server's tables and
// the handlers' box readers all step index vectors over box counts this way.
#ifndef LIBQVP_NEXT_INDEX_H
#define LIBQVP_NEXT_INDEX_H

#include <cstddef>
#include <vector>

namespace libqvp {

// Steps dimensions [first, last) of `index` to the next position of a box of
// `count` values per dimension (0 <= index[d] < count[d]), dimension last - 1
// fastest; the others are left alone. Returns false, with those dimensions
// back at 0, after the box's last position (at once when first == last).
inline bool next_index(std::vector<size_t>& index,
                       const std::vector<size_t>& count, size_t first,
                       size_t last) {
  for (size_t d = last; d-- > first;) {
    if (++index[d] < count[d]) return true;
    index[d] = 0;
  }
  return false;
}

// The same over every dimension of `index`.
inline bool next_index(std::vector<size_t>& index,
                       const std::vector<size_t>& count) {
  return next_index(index, count, 0, index.size());
}

}  // namespace libqvp

#endif  // LIBQVP_NEXT_INDEX_H
