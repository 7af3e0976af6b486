// Arrays: hyperslab selection, values in memory and from box readers, and
// the exact XDR bytes of every element type, box by box or from memory.
#include <algorithm>
#include <cstring>
#include <numeric>

#include "CoreTest.h"

namespace libqvp::test {

// A 1-D Int32 array of `n` values 0, 1, ..., n-1.
std::unique_ptr<Array> iota_array(int n) {
  std::vector<int32_t> v(n);
  std::iota(v.begin(), v.end(), 0);
  return array_of<Int32>("a", v);
}

std::string slab_text(size_t dim, int start, int stride, int stop) {
  return "dim " + std::to_string(dim) + " [" + std::to_string(start) + ":" +
         std::to_string(stride) + ":" + std::to_string(stop) + "]";
}

TEST(ArrayTest, HyperslabsSelectStartStrideStopInclusive) {
  // clang-format off
  static const struct { int size, start, stride, stop; std::vector<double> selected; } cases[] = {
      {6, 0, 2, 5, {0, 2, 4}}, {6, 0, 2, 4, {0, 2, 4}}, {6, 1, 2, 5, {1, 3, 5}},
      {6, 3, 1, 3, {3}}, {6, 5, 1, 5, {5}}, {6, 0, 1, 5, {0, 1, 2, 3, 4, 5}},
      {6, 2, 10, 5, {2}}, {10, 1, 3, 9, {1, 4, 7}},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(slab_text(0, c.start, c.stride, c.stop));
    auto a = iota_array(c.size);
    a->add_constraint(0, c.start, c.stride, c.stop);
    EXPECT_EQ(a->length(), c.selected.size());
    EXPECT_EQ(a->dims()[0].c_size, static_cast<int>(c.selected.size()));
    EXPECT_EQ(a->selected_as_double(), c.selected);
  }
}

TEST(ArrayTest, TwoDimensionalSelectionIsRowMajor) {
  auto a = sized<Float64>("g", {3, 4});
  a->set_values(
      std::vector<double>{0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23});
  a->add_constraint(0, 0, 2, 2);
  a->add_constraint(1, 1, 2, 3);
  EXPECT_EQ(a->selected_as_double(), (std::vector<double>{1, 3, 21, 23}));
  a->reset_constraint();
  EXPECT_EQ(a->length(), 12u);
  a->add_constraint(1, 2, 1, 2);
  EXPECT_EQ(a->selected_as_double(), (std::vector<double>{2, 12, 22}));
}

TEST(ArrayTest, BadHyperslabsAreRejectedAndChangeNothing) {
  // clang-format off
  static const struct { size_t dim; int start, stride, stop; } cases[] = {
      {0, -1, 1, 2}, {0, 0, 0, 2}, {0, 0, -1, 2}, {0, 3, 1, 2},
      {0, 0, 1, 6},  {0, 6, 1, 6}, {1, 0, 1, 0},  {0, 0, 1, 2147483647},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(slab_text(c.dim, c.start, c.stride, c.stop));
    auto a = iota_array(6);
    a->add_constraint(0, 1, 2, 5);
    expect_error([&] { a->add_constraint(c.dim, c.start, c.stride, c.stop); },
                 bad_hyperslab);
    EXPECT_EQ(a->selected_as_double(), (std::vector<double>{1, 3, 5}));
  }
}

TEST(ArrayTest, DimensionsAndValuesAreChecked) {
  auto big = sized<Int16>("big", {2});
  EXPECT_THROW(big->append_dim(-1), Error);
  EXPECT_NO_THROW(big->append_dim(1 << 30));  // 2^31 elements
  EXPECT_THROW(big->append_dim(2), Error);    // 2^32: one too many
  EXPECT_EQ(big->dimensions(), 2u);
  auto a = sized<Int16>("a", {2});
  EXPECT_THROW(a->set_values(std::vector<int32_t>{1, 2}), Error);     // type
  EXPECT_THROW(a->set_values(std::vector<int16_t>{1, 2, 3}), Error);  // count
  EXPECT_THROW(serialized(*a), Error);  // no values yet
  EXPECT_NO_THROW(a->set_values(std::vector<int16_t>{1, 2}));
  EXPECT_THROW(Array("s", sized<Byte>("inner", {1})), Error);
  EXPECT_THROW(Array("n", nullptr), Error);
  EXPECT_THROW(sized<Str>("s", {1})->selected_as_double(), Error);
}

TEST(ArrayTest, XdrOfEachElementType) {
  // clang-format off
  const struct { std::unique_ptr<Array> array; const char* expected; } cases[] = {
      {array_of<Byte>("b", std::vector<uint8_t>{1, 2, 255}), "00000003 00000003 0102ff00"},
      {array_of<Int16>("i", std::vector<int16_t>{-1, 300}), "00000002 00000002 ffffffff 0000012c"},
      {array_of<UInt16>("u", std::vector<uint16_t>{65535, 1}), "00000002 00000002 0000ffff 00000001"},
      {array_of<Int32>("j", std::vector<int32_t>{-2, 7}), "00000002 00000002 fffffffe 00000007"},
      {array_of<UInt32>("k", std::vector<uint32_t>{0x80000001u}), "00000001 00000001 80000001"},
      {array_of<Float32>("f", std::vector<float>{1.0f, -2.0f}), "00000002 00000002 3f800000 c0000000"},
      {array_of<Float64>("d", std::vector<double>{1.0}), "00000001 00000001 3ff00000 00000000"},
      {array_of<Str>("s", std::vector<std::string>{"ab", "cdefg"}), "00000002 00000002 61620000 00000005 63646566 67000000"},
      {array_of<Url>("l", std::vector<std::string>{"http://x"}), "00000001 00000008 68747470 3a2f2f78"},
  };
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(xdr_hex(*c.array), spaced(c.expected))
        << c.array->var()->type_name() << " array";
}

TEST(ArrayTest, ByteArraysArePaddedForLengthsZeroToFive) {
  static const char* const expected[] = {
      "00000000 00000000",          "00000001 00000001 01000000",
      "00000002 00000002 01020000", "00000003 00000003 01020300",
      "00000004 00000004 01020304", "00000005 00000005 01020304 05000000",
  };
  // {1, ..., n}, cut from a literal: GCC 12 at -O2 misreads an iota fill of
  // a loop-sized vector as an overflow.
  const std::vector<uint8_t> all{1, 2, 3, 4, 5};
  for (int n = 0; n <= 5; ++n) {
    auto a =
        array_of<Byte>("b", std::vector<uint8_t>(all.begin(), all.begin() + n));
    EXPECT_EQ(xdr_hex(*a), spaced(expected[n])) << n << " bytes";
  }
}

TEST(ArrayTest, SerializesOnlyTheSelection) {
  auto a = iota_array(6);
  a->add_constraint(0, 0, 2, 5);
  EXPECT_EQ(xdr_hex(*a),
            spaced("00000003 00000003 00000000 00000002 00000004"));
  auto b = sized<Byte>("b", {2, 3});
  b->set_values(std::vector<uint8_t>{1, 2, 3, 4, 5, 6});
  b->add_constraint(1, 1, 1, 2);
  EXPECT_EQ(xdr_hex(*b), "00000004 00000004 02030506");
  auto s = array_of<Str>("s", std::vector<std::string>{"a", "b", "c"});
  s->add_constraint(0, 2, 1, 2);
  EXPECT_EQ(xdr_hex(*s), "00000001 00000001 63000000");
}

// A reader over the values v[i] = value_at(i) of a row-major array of
// `sizes`, recording the largest box it was asked for and its calls.
template <typename T>
struct ComputedReader {
  std::vector<size_t> sizes;
  size_t* max_box_bytes;
  size_t* calls;

  static T value_at(size_t flat) { return static_cast<T>(flat * 3 + 1); }

  void operator()(const Array&, const std::vector<size_t>& start,
                  const std::vector<size_t>& stride,
                  const std::vector<size_t>& count, void* out) const {
    size_t n = 1;
    for (size_t c : count) n *= c;
    *max_box_bytes = std::max(*max_box_bytes, n * sizeof(T));
    ++*calls;
    T* dst = static_cast<T*>(out);
    std::vector<size_t> idx(count.size(), 0);
    for (size_t k = 0; k < n; ++k) {
      size_t flat = 0;
      for (size_t d = 0; d < sizes.size(); ++d)
        flat = flat * sizes[d] + start[d] + idx[d] * stride[d];
      dst[k] = value_at(flat);
      for (size_t d = count.size(); d-- > 0;) {
        if (++idx[d] < count[d]) break;
        idx[d] = 0;
      }
    }
  }
};

// The values ComputedReader<T> reads for an array like `a`.
template <typename T>
std::vector<T> computed_values(const Array& a) {
  std::vector<T> all(a.full_length());
  for (size_t i = 0; i < all.size(); ++i)
    all[i] = ComputedReader<T>::value_at(i);
  return all;
}

template <typename S, typename T>
void expect_boxes_match_memory(std::vector<int> sizes,
                               std::vector<std::array<int, 4>> slabs) {
  SCOPED_TRACE(S("v").type_name());
  auto boxed = sized<S>("v", sizes);
  auto memory = sized<S>("v", sizes);
  size_t max_box = 0, calls = 0;
  boxed->set_box_reader(ComputedReader<T>{
      std::vector<size_t>(sizes.begin(), sizes.end()), &max_box, &calls});
  memory->set_values(computed_values<T>(*memory));
  for (const auto& s : slabs) {
    boxed->add_constraint(s[0], s[1], s[2], s[3]);
    memory->add_constraint(s[0], s[1], s[2], s[3]);
  }
  const std::string from_boxes = serialized(*boxed);
  EXPECT_EQ(from_boxes.size(), serialized(*memory).size());
  EXPECT_TRUE(from_boxes == serialized(*memory));
  EXPECT_LE(max_box, Array::kBoxBytes);
  EXPECT_GT(calls, 1u) << "expected several boxes";
}

TEST(ArrayTest, BoxByBoxGivesTheSameBytesAsMemory) {
  // 3 MiB of Float64 in one dimension.
  expect_boxes_match_memory<Float64, double>({393216}, {});
  // A strided selection across rows: partial rows per box.
  expect_boxes_match_memory<Float32, float>({700, 1000}, {{0, 1, 3, 698}});
  // One row larger than a box: the row itself is split.
  expect_boxes_match_memory<Int16, int16_t>({3, 700000}, {{1, 0, 1, 699999}});
  // Bytes: padding comes once, after the last box.
  expect_boxes_match_memory<Byte, uint8_t>({3, 1048577}, {});
  expect_boxes_match_memory<Int32, int32_t>(
      {40, 50, 300}, {{0, 1, 1, 39}, {1, 2, 3, 49}, {2, 5, 7, 299}});
}

// An encoded reader that serves every other box itself (the box's values
// read with the box reader and byte-swapped here) and declines the rest:
// the bytes must be those of values in memory, whichever path a box takes.
TEST(ArrayTest, EncodedReaderBoxesMixWithOrdinaryOnes) {
  auto mixed = sized<Float32>("v", {700, 1000});
  auto memory = sized<Float32>("v", {700, 1000});
  size_t max_box = 0, calls = 0, asked = 0, served = 0;
  const ComputedReader<float> reader{{700, 1000}, &max_box, &calls};
  mixed->set_box_reader(reader);
  mixed->set_encoded_reader([&](const Array& a, const auto& start,
                                const auto& stride, const auto& count,
                                Marshaller& m) {
    if (asked++ % 2) return false;
    std::vector<float> values(count[0] * count[1]);
    reader(a, start, stride, count, values.data());
    std::string bytes;
    for (float f : values) {
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      for (int s = 24; s >= 0; s -= 8)
        bytes.push_back(static_cast<char>(bits >> s));
    }
    m.put_encoded(bytes.data(), bytes.size());
    ++served;
    return true;
  });
  memory->set_values(computed_values<float>(*memory));
  mixed->add_constraint(0, 1, 1, 698);  // three boxes
  memory->add_constraint(0, 1, 1, 698);
  EXPECT_TRUE(serialized(*mixed) == serialized(*memory));
  EXPECT_GT(served, 1u);
  EXPECT_GT(asked, served);

  // Values in memory are written from memory; the reader is not asked.
  asked = 0;
  mixed->set_values(computed_values<float>(*mixed));
  EXPECT_TRUE(serialized(*mixed) == serialized(*memory));
  EXPECT_EQ(asked, 0u);
}

TEST(ArrayTest, StringsFromAReader) {
  auto a = sized<Str>("s", {3});
  a->set_box_reader([](const Array&, const std::vector<size_t>& start,
                       const std::vector<size_t>&,
                       const std::vector<size_t>& count, void* out) {
    auto* dst = static_cast<std::string*>(out);
    for (size_t i = 0; i < count[0]; ++i)
      dst[i] = std::string(start[0] + i + 1, 'x');
  });
  a->add_constraint(0, 1, 1, 2);
  EXPECT_EQ(xdr_hex(*a), "00000002 00000002 78780000 00000003 78787800");
}

TEST(ArrayTest, ReadBoxRejectsBoxesOutsideTheArray) {
  auto a = iota_array(4);
  int32_t out[8];
  EXPECT_THROW(a->read_box({3}, {1}, {2}, out), Error);
  EXPECT_THROW(a->read_box({0}, {2}, {3}, out), Error);
  EXPECT_THROW(a->read_box({0, 0}, {1, 1}, {1, 1}, out), Error);
  a->read_box({1}, {2}, {2}, out);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], 3);
}

// read() runs once, before the first serialisation, and may set the values.
TEST(ArrayTest, ReadHookLoadsValuesOnce) {
  struct LazyArray : Array {
    LazyArray() : Array("lazy", named<Int32>("lazy")) { append_dim(2); }
    bool read() override {
      ++reads;
      set_values(std::vector<int32_t>{5, 6});
      return true;
    }
    int reads = 0;
  } a;
  EXPECT_EQ(xdr_hex(a), "00000002 00000002 00000005 00000006");
  serialized(a);
  EXPECT_EQ(a.reads, 1);
}

}  // namespace libqvp::test
