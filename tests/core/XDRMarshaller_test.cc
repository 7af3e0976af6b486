// Exact XDR bytes of every kind of value through both marshallers, bulk
// encoding across buffer boundaries, and reporting of failed writes.
#include <cstring>
#include <limits>

#include "CoreTest.h"
#include "FailingFile.h"

namespace libqvp::test {

using Put = std::function<void(Marshaller&)>;

TEST(XDRMarshallerTest, ScalarsTakeFourOrEightBytes) {
  // clang-format off
  const struct { Put put; const char* expected; } cases[] = {
      {[](Marshaller& m) { m.put_byte(0); }, "00000000"},
      {[](Marshaller& m) { m.put_byte(0xab); }, "000000ab"},
      {[](Marshaller& m) { m.put_int16(-2); }, "fffffffe"},
      {[](Marshaller& m) { m.put_int16(-32768); }, "ffff8000"},
      {[](Marshaller& m) { m.put_int16(32767); }, "00007fff"},
      {[](Marshaller& m) { m.put_uint16(65535); }, "0000ffff"},
      {[](Marshaller& m) { m.put_int32(-1); }, "ffffffff"},
      {[](Marshaller& m) { m.put_int32(std::numeric_limits<int32_t>::min()); }, "80000000"},
      {[](Marshaller& m) { m.put_uint32(0x01020304u); }, "01020304"},
      {[](Marshaller& m) { m.put_float32(1.0f); }, "3f800000"},
      {[](Marshaller& m) { m.put_float32(-2.5f); }, "c0200000"},
      {[](Marshaller& m) { m.put_float64(1.0); }, "3ff00000 00000000"},
      {[](Marshaller& m) { m.put_float64(-0.0); }, "80000000 00000000"},
      {[](Marshaller& m) { m.put_float64(0.1); }, "3fb99999 9999999a"},
      {[](Marshaller& m) { m.put_length(7); }, "00000007"},
      {[](Marshaller& m) { m.put_start_of_instance(); }, "5a000000"},
      {[](Marshaller& m) { m.put_end_of_sequence(); }, "a5000000"},
  };
  // clang-format on
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(to_hex(xdr_bytes(cases[i].put)), cases[i].expected)
        << "row " << i;
}

TEST(XDRMarshallerTest, StringsArePaddedToFourBytes) {
  // clang-format off
  static const struct { std::string value; const char* expected; } cases[] = {
      {"", "00000000"}, {"a", "00000001 61000000"}, {"ab", "00000002 61620000"},
      {"abc", "00000003 61626300"}, {"abcd", "00000004 61626364"},
      {"abcde", "00000005 61626364 65000000"},
      {std::string("a\0b", 3), "00000003 61006200"},  // zero bytes are data
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(to_hex(xdr_bytes([&](Marshaller& m) { m.put_str(c.value); })),
              c.expected);
    EXPECT_EQ(to_hex(xdr_bytes([&](Marshaller& m) { m.put_url(c.value); })),
              c.expected);
  }
}

TEST(XDRMarshallerTest, ArrayElementsOfEachTypeAndBytePadding) {
  const uint8_t bytes[] = {1, 2, 0xff};
  const int16_t i16[] = {-1, 2};
  const uint16_t u16[] = {0x8001, 3};
  const int32_t i32[] = {-2, 0x7fffffff};
  const uint32_t u32[] = {0xdeadbeef};
  const float f32[] = {1.0f, -0.0f};
  const double f64[] = {-1.0, 2.0};
  // clang-format off
  const struct { Type type; const void* values; size_t count; const char* expected; } cases[] = {
      {Type::Byte, bytes, 3, "0102ff"}, {Type::Int16, i16, 2, "ffffffff 00000002"},
      {Type::UInt16, u16, 2, "00008001 00000003"}, {Type::Int32, i32, 2, "fffffffe 7fffffff"},
      {Type::UInt32, u32, 1, "deadbeef"}, {Type::Float32, f32, 2, "3f800000 80000000"},
      {Type::Float64, f64, 2, "bff00000 00000000 40000000 00000000"}, {Type::Int32, i32, 0, ""},
  };
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(to_hex(xdr_bytes([&](Marshaller& m) {
                m.put_values(c.values, c.count, c.type);
              })),
              c.expected)
        << type_name(c.type) << " x" << c.count;
  static const char* const padding[] = {"",   "000000", "0000",
                                        "00", "",       "000000"};
  for (size_t n = 0; n <= 5; ++n)
    EXPECT_EQ(to_hex(xdr_bytes([&](Marshaller& m) { m.put_byte_padding(n); })),
              padding[n])
        << n << " bytes";
  std::string s;
  EXPECT_THROW(
      xdr_bytes([&](Marshaller& m) { m.put_values(&s, 1, Type::String); }),
      Error);
}

// Element-by-element reference encoding, independent of the bulk loops.
template <typename T>
std::string reference_encoding(const std::vector<T>& v) {
  std::string out;
  for (T x : v) {
    uint64_t bits = 0;
    size_t width = sizeof(T) == 8 ? 8 : 4;
    if constexpr (std::is_floating_point_v<T>) {
      std::memcpy(&bits, &x, sizeof x);
    } else if constexpr (std::is_signed_v<T>) {
      bits = static_cast<uint32_t>(static_cast<int32_t>(x));
    } else {
      bits = x;
    }
    for (size_t i = width; i-- > 0;) out += static_cast<char>(bits >> (8 * i));
  }
  return out;
}

template <typename T>
void expect_bulk_matches_reference(Type t, size_t n, size_t misalign) {
  std::vector<T> v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = static_cast<T>(static_cast<double>(i) * 7.25 - 1000.0);
  // Copy to an address `misalign` bytes off the vector's alignment.
  std::vector<char> raw(n * sizeof(T) + misalign);
  std::memcpy(raw.data() + misalign, v.data(), n * sizeof(T));
  const std::string got = xdr_bytes([&](Marshaller& m) {
    m.put_int32(1);  // leaves the buffer part-full before the array
    m.put_values(raw.data() + misalign, n, t);
  });
  const std::string want = hex("00000001") + reference_encoding(v);
  ASSERT_EQ(got.size(), want.size()) << type_name(t);
  EXPECT_TRUE(got == want) << type_name(t) << " n=" << n
                           << " misalign=" << misalign;
}

TEST(XDRMarshallerTest, BulkEncodingSpansBufferBoundaries) {
  for (size_t n : {size_t{1}, size_t{17}, size_t{16383}, size_t{100003}}) {
    for (size_t misalign : {0, 1, 3}) {
      expect_bulk_matches_reference<int16_t>(Type::Int16, n, misalign);
      expect_bulk_matches_reference<uint16_t>(Type::UInt16, n, misalign);
      expect_bulk_matches_reference<int32_t>(Type::Int32, n, misalign);
      expect_bulk_matches_reference<uint32_t>(Type::UInt32, n, misalign);
      expect_bulk_matches_reference<float>(Type::Float32, n, misalign);
      expect_bulk_matches_reference<double>(Type::Float64, n, misalign);
    }
  }
}

TEST(XDRMarshallerTest, LongStringsAndByteRunsPassWhole) {
  const std::string big(200000, 'x');
  const std::string got = xdr_bytes([&](Marshaller& m) {
    m.put_int32(5);
    m.put_str(big);
    m.put_values(big.data(), 70001, Type::Byte);
    m.put_byte_padding(70001);
  });
  const std::string want = hex("00000005 00030d40") + big +
                           big.substr(0, 70001) + std::string(3, '\0');
  EXPECT_TRUE(got == want) << "got " << got.size() << " bytes";
}

// A single value is buffered until the marshaller goes.
TEST(XDRMarshallerTest, DestructorWritesBufferedBytes) {
  FailingFile file(0);
  {
    XDRFileMarshaller m(file.get());
    m.put_int32(1);
    EXPECT_EQ(file.bytes(), "");
  }
  EXPECT_EQ(file.bytes(), std::string("\0\0\0\1", 4));
}

TEST(XDRMarshallerTest, FailedWritesThrowWriteError) {
  FILE* fp = fopen("/dev/null", "r");  // a stream that refuses writes
  ASSERT_NE(fp, nullptr);
  {
    XDRFileMarshaller m(fp);
    m.put_int32(1);  // buffered: nothing is written yet
    expect_error([&] { m.flush(); }, write_error);
    std::vector<double> big(100000);
    EXPECT_THROW(m.put_values(big.data(), big.size(), Type::Float64), Error);
    m.put_int32(2);  // the destructor's flush fails silently
  }
  fclose(fp);

  // The third write call of a long run fails, half-way through.
  FailingFile failing(3);
  std::vector<float> values(1 << 20);
  {
    XDRFileMarshaller m(failing.get());
    EXPECT_THROW(m.put_values(values.data(), values.size(), Type::Float32),
                 Error);
  }
  EXPECT_LT(failing.bytes().size(), values.size() * 4);

  std::ostringstream out;
  out.setstate(std::ios::badbit);
  XDRStreamMarshaller sm(out);
  sm.put_float64(1.0);
  expect_error([&] { sm.flush(); }, write_error);

  // A stream whose buffer refuses every byte and that throws on badbit.
  struct RefusingBuf : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
  } refusing;
  std::ostream throwing(&refusing);
  throwing.exceptions(std::ios::badbit);
  XDRStreamMarshaller t(throwing);
  t.put_int32(1);
  EXPECT_THROW(t.flush(), Error);
}

}  // namespace libqvp::test
