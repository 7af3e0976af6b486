// Arrays: hyperslab selection, values in memory and from box readers, and
// the exact XDR bytes of every element type, box by box or from memory.
#include <gtest/gtest.h>
#include <libqvp/Array.h>
#include <libqvp/Byte.h>
#include <libqvp/Error.h>
#include <libqvp/Float32.h>
#include <libqvp/Float64.h>
#include <libqvp/Int16.h>
#include <libqvp/Int32.h>
#include <libqvp/Marshaller.h>
#include <libqvp/Str.h>
#include <libqvp/UInt16.h>
#include <libqvp/UInt32.h>
#include <libqvp/Url.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

#include "ExpectError.h"
#include "XdrCapture.h"

using libqvp::Array;
using libqvp::Error;
using qvptest::hex;
using qvptest::serialized;
using qvptest::to_hex;

namespace {

template <typename S>
std::unique_ptr<Array> make_array(const std::string& name,
                                  std::vector<int> sizes) {
  auto a = std::make_unique<Array>(name, std::make_unique<S>(name));
  for (int s : sizes) a->append_dim(s);
  return a;
}

// A 1-D Int32 array of `n` values 0, 1, ..., n-1.
std::unique_ptr<Array> iota_array(int n) {
  auto a = make_array<libqvp::Int32>("a", {n});
  std::vector<int32_t> v(n);
  std::iota(v.begin(), v.end(), 0);
  a->set_values(v);
  return a;
}

TEST(ArrayTest, HyperslabsSelectStartStrideStopInclusive) {
  static const struct {
    int size, start, stride, stop;
    std::vector<double> selected;
  } cases[] = {
      {6, 0, 2, 5, {0, 2, 4}}, {6, 0, 2, 4, {0, 2, 4}},
      {6, 1, 2, 5, {1, 3, 5}}, {6, 3, 1, 3, {3}},
      {6, 5, 1, 5, {5}},       {6, 0, 1, 5, {0, 1, 2, 3, 4, 5}},
      {6, 2, 10, 5, {2}},      {10, 1, 3, 9, {1, 4, 7}},
  };
  for (const auto& c : cases) {
    auto a = iota_array(c.size);
    a->add_constraint(0, c.start, c.stride, c.stop);
    const std::string slab = "[" + std::to_string(c.start) + ":" +
                             std::to_string(c.stride) + ":" +
                             std::to_string(c.stop) + "]";
    EXPECT_EQ(a->length(), c.selected.size()) << slab;
    EXPECT_EQ(a->dims()[0].c_size, static_cast<int>(c.selected.size())) << slab;
    EXPECT_EQ(a->selected_as_double(), c.selected) << slab;
  }
}

TEST(ArrayTest, TwoDimensionalSelectionIsRowMajor) {
  auto a = make_array<libqvp::Float64>("g", {3, 4});
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
  static const struct {
    size_t dim;
    int start, stride, stop;
  } cases[] = {
      {0, -1, 1, 2}, {0, 0, 0, 2}, {0, 0, -1, 2}, {0, 3, 1, 2},
      {0, 0, 1, 6},  {0, 6, 1, 6}, {1, 0, 1, 0},  {0, 0, 1, 2147483647},
  };
  for (const auto& c : cases) {
    auto a = iota_array(6);
    a->add_constraint(0, 1, 2, 5);
    const std::string slab =
        "dim " + std::to_string(c.dim) + " [" + std::to_string(c.start) + ":" +
        std::to_string(c.stride) + ":" + std::to_string(c.stop) + "]";
    SCOPED_TRACE(slab);
    libqvp::test::expect_error(
        [&] { a->add_constraint(c.dim, c.start, c.stride, c.stop); },
        libqvp::bad_hyperslab);
    EXPECT_EQ(a->selected_as_double(), (std::vector<double>{1, 3, 5})) << slab;
  }
}

TEST(ArrayTest, DimensionsAndValuesAreChecked) {
  auto big = make_array<libqvp::Int16>("big", {2});
  EXPECT_THROW(big->append_dim(-1), Error);
  EXPECT_NO_THROW(big->append_dim(1 << 30));  // 2^31 elements
  EXPECT_THROW(big->append_dim(2), Error);    // 2^32: one too many
  EXPECT_EQ(big->dimensions(), 2u);
  auto a = make_array<libqvp::Int16>("a", {2});
  EXPECT_THROW(a->set_values(std::vector<int32_t>{1, 2}), Error);     // type
  EXPECT_THROW(a->set_values(std::vector<int16_t>{1, 2, 3}), Error);  // count
  EXPECT_NO_THROW(a->set_values(std::vector<int16_t>{1, 2}));
  EXPECT_THROW(Array("s", std::make_unique<Array>(
                              "inner", std::make_unique<libqvp::Byte>("b"))),
               Error);
  EXPECT_THROW(Array("n", nullptr), Error);
  auto s = make_array<libqvp::Str>("s", {1});
  EXPECT_THROW(s->selected_as_double(), Error);
}

TEST(ArrayTest, XdrOfEachElementType) {
  auto b = make_array<libqvp::Byte>("b", {3});
  b->set_values(std::vector<uint8_t>{1, 2, 255});
  auto i16 = make_array<libqvp::Int16>("i", {2});
  i16->set_values(std::vector<int16_t>{-1, 300});
  auto u16 = make_array<libqvp::UInt16>("u", {2});
  u16->set_values(std::vector<uint16_t>{65535, 1});
  auto i32 = make_array<libqvp::Int32>("j", {2});
  i32->set_values(std::vector<int32_t>{-2, 7});
  auto u32 = make_array<libqvp::UInt32>("k", {1});
  u32->set_values(std::vector<uint32_t>{0x80000001u});
  auto f32 = make_array<libqvp::Float32>("f", {2});
  f32->set_values(std::vector<float>{1.0f, -2.0f});
  auto f64 = make_array<libqvp::Float64>("d", {1});
  f64->set_values(std::vector<double>{1.0});
  auto str = make_array<libqvp::Str>("s", {2});
  str->set_values(std::vector<std::string>{"ab", "cdefg"});
  auto url = make_array<libqvp::Url>("l", {1});
  url->set_values(std::vector<std::string>{"http://x"});
  const struct {
    Array* array;
    const char* expected;
  } cases[] = {
      {b.get(), "00000003 00000003 0102ff00"},
      {i16.get(), "00000002 00000002 ffffffff 0000012c"},
      {u16.get(), "00000002 00000002 0000ffff 00000001"},
      {i32.get(), "00000002 00000002 fffffffe 00000007"},
      {u32.get(), "00000001 00000001 80000001"},
      {f32.get(), "00000002 00000002 3f800000 c0000000"},
      {f64.get(), "00000001 00000001 3ff00000 00000000"},
      {str.get(), "00000002 00000002 61620000 00000005 63646566 67000000"},
      {url.get(), "00000001 00000008 68747470 3a2f2f78"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(to_hex(serialized(*c.array)), to_hex(hex(c.expected)))
        << c.array->var()->type_name() << " array";
}

TEST(ArrayTest, ByteArraysArePaddedForLengthsZeroToFive) {
  static const char* const expected[] = {
      "00000000 00000000",          "00000001 00000001 01000000",
      "00000002 00000002 01020000", "00000003 00000003 01020300",
      "00000004 00000004 01020304", "00000005 00000005 01020304 05000000",
  };
  for (int n = 0; n <= 5; ++n) {
    auto a = make_array<libqvp::Byte>("b", {n});
    // {1, ..., n}, built from a literal: GCC 12 at -O2 misreads an iota fill
    // of a loop-sized vector as an overflow.
    const std::vector<uint8_t> all{1, 2, 3, 4, 5};
    a->set_values(std::vector<uint8_t>(all.begin(), all.begin() + n));
    EXPECT_EQ(to_hex(serialized(*a)), to_hex(hex(expected[n])))
        << n << " bytes";
  }
}

TEST(ArrayTest, SerializesOnlyTheSelection) {
  auto a = iota_array(6);
  a->add_constraint(0, 0, 2, 5);
  EXPECT_EQ(to_hex(serialized(*a)),
            to_hex(hex("00000003 00000003 00000000 00000002 00000004")));
  auto b = make_array<libqvp::Byte>("b", {2, 3});
  b->set_values(std::vector<uint8_t>{1, 2, 3, 4, 5, 6});
  b->add_constraint(1, 1, 1, 2);
  EXPECT_EQ(to_hex(serialized(*b)), to_hex(hex("00000004 00000004 02030506")));
  auto s = make_array<libqvp::Str>("s", {3});
  s->set_values(std::vector<std::string>{"a", "b", "c"});
  s->add_constraint(0, 2, 1, 2);
  EXPECT_EQ(to_hex(serialized(*s)), to_hex(hex("00000001 00000001 63000000")));
}

// A reader over the values v[i] = f(i) of a row-major array of `sizes`,
// recording the largest box it was asked for.
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

template <typename S, typename T>
void expect_boxes_match_memory(std::vector<int> sizes,
                               std::vector<std::array<int, 4>> slabs) {
  auto boxed = make_array<S>("v", sizes);
  auto memory = make_array<S>("v", sizes);
  size_t max_box = 0, calls = 0;
  std::vector<size_t> usizes(sizes.begin(), sizes.end());
  boxed->set_box_reader(ComputedReader<T>{usizes, &max_box, &calls});
  std::vector<T> all(memory->full_length());
  for (size_t i = 0; i < all.size(); ++i)
    all[i] = ComputedReader<T>::value_at(i);
  memory->set_values(all);
  for (const auto& s : slabs) {
    boxed->add_constraint(s[0], s[1], s[2], s[3]);
    memory->add_constraint(s[0], s[1], s[2], s[3]);
  }
  const std::string from_boxes = serialized(*boxed);
  const std::string from_memory = serialized(*memory);
  EXPECT_EQ(from_boxes.size(), from_memory.size());
  EXPECT_TRUE(from_boxes == from_memory) << boxed->var()->type_name();
  EXPECT_LE(max_box, Array::kBoxBytes) << boxed->var()->type_name();
  EXPECT_GT(calls, 1u) << "expected several boxes";
}

TEST(ArrayTest, BoxByBoxGivesTheSameBytesAsMemory) {
  // 3 MiB of Float64 in one dimension.
  expect_boxes_match_memory<libqvp::Float64, double>({393216}, {});
  // A strided selection across rows: partial rows per box.
  expect_boxes_match_memory<libqvp::Float32, float>({700, 1000},
                                                    {{0, 1, 3, 698}});
  // One row larger than a box: the row itself is split.
  expect_boxes_match_memory<libqvp::Int16, int16_t>({3, 700000},
                                                    {{1, 0, 1, 699999}});
  // Bytes: padding comes once, after the last box.
  expect_boxes_match_memory<libqvp::Byte, uint8_t>({3, 1048577}, {});
  expect_boxes_match_memory<libqvp::Int32, int32_t>(
      {40, 50, 300}, {{0, 1, 1, 39}, {1, 2, 3, 49}, {2, 5, 7, 299}});
}

TEST(ArrayTest, StringsFromAReader) {
  auto a = make_array<libqvp::Str>("s", {3});
  a->set_box_reader([](const Array&, const std::vector<size_t>& start,
                       const std::vector<size_t>&,
                       const std::vector<size_t>& count, void* out) {
    auto* dst = static_cast<std::string*>(out);
    for (size_t i = 0; i < count[0]; ++i)
      dst[i] = std::string(start[0] + i + 1, 'x');
  });
  a->add_constraint(0, 1, 1, 2);
  EXPECT_EQ(to_hex(serialized(*a)),
            to_hex(hex("00000002 00000002 78780000 00000003 78787800")));
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
class LazyArray : public Array {
 public:
  LazyArray() : Array("lazy", std::make_unique<libqvp::Int32>("lazy")) {
    append_dim(2);
  }
  bool read() override {
    ++reads;
    set_values(std::vector<int32_t>{5, 6});
    return true;
  }
  int reads = 0;
};

TEST(ArrayTest, ReadHookLoadsValuesOnce) {
  LazyArray a;
  EXPECT_EQ(to_hex(serialized(a)),
            to_hex(hex("00000002 00000002 00000005 00000006")));
  serialized(a);
  EXPECT_EQ(a.reads, 1);
}

TEST(ArrayTest, ArrayWithoutValuesFailsCleanly) {
  auto a = make_array<libqvp::Float64>("empty", {2});
  EXPECT_THROW(serialized(*a), Error);
}

}  // namespace

// An encoded reader that serves every other box itself (the box's values
// read with the box reader and byte-swapped here) and declines the rest:
// the bytes must be those of values in memory, whichever path a box takes.
TEST(ArrayTest, EncodedReaderBoxesMixWithOrdinaryOnes) {
  const std::vector<int> sizes = {700, 1000};
  auto mixed = make_array<libqvp::Float32>("v", sizes);
  auto memory = make_array<libqvp::Float32>("v", sizes);
  size_t max_box = 0, calls = 0;
  const ComputedReader<float> reader{{700, 1000}, &max_box, &calls};
  mixed->set_box_reader(reader);
  size_t asked = 0, served = 0;
  mixed->set_encoded_reader([&](const Array& a, const auto& start,
                                const auto& stride, const auto& count,
                                libqvp::Marshaller& m) {
    if (asked++ % 2) return false;
    size_t n = 1;
    for (size_t c : count) n *= c;
    std::vector<float> values(n);
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
  std::vector<float> all(memory->full_length());
  for (size_t i = 0; i < all.size(); ++i)
    all[i] = ComputedReader<float>::value_at(i);
  memory->set_values(all);
  mixed->add_constraint(0, 1, 1, 698);  // three boxes
  memory->add_constraint(0, 1, 1, 698);
  EXPECT_TRUE(serialized(*mixed) == serialized(*memory));
  EXPECT_GT(served, 1u);
  EXPECT_GT(asked, served);

  // Values in memory are written from memory; the reader is not asked.
  asked = 0;
  mixed->set_values(all);
  EXPECT_TRUE(serialized(*mixed) == serialized(*memory));
  EXPECT_EQ(asked, 0u);
}
