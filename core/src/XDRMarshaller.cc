// The buffered XDR encoder: scalars and markers are encoded into a reusable
// buffer; arrays are converted in bulk, a buffer-full at a time, and each full
// buffer goes to write_out() in one call.
#include <libqvp/Error.h>
#include <libqvp/XDRMarshaller.h>
#include <libqvp/visit_scalar.h>

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "XDRByteSwap.h"

namespace libqvp {
namespace {

// Large enough that write_out() sees few calls, small enough to stay in cache.
constexpr size_t kBufferBytes = size_t{64} << 10;
constexpr uint32_t kStartOfInstance = 0x5A000000u;
constexpr uint32_t kEndOfSequence = 0xA5000000u;

size_t padding_of(size_t n) { return (4 - n % 4) % 4; }

}  // namespace

XDRMarshaller::XDRMarshaller() : d_buf(kBufferBytes) {}

XDRMarshaller::~XDRMarshaller() = default;

void XDRMarshaller::flush() {
  if (d_used == 0) return;
  const size_t n = d_used;
  d_used = 0;  // a failed write loses the bytes rather than repeating them
  write_out(d_buf.data(), n);
}

void XDRMarshaller::put_raw(const void* bytes, size_t n) {
  if (n == 0) return;
  if (n > d_buf.size() - d_used) {
    flush();
    if (n >= d_buf.size()) {
      write_out(static_cast<const char*>(bytes), n);
      return;
    }
  }
  std::memcpy(d_buf.data() + d_used, bytes, n);
  d_used += n;
}

void XDRMarshaller::put_be32(uint32_t v) {
  if (d_buf.size() - d_used < 4) flush();
  const uint32_t be = xdr::to_be32(v);
  std::memcpy(d_buf.data() + d_used, &be, 4);
  d_used += 4;
}

void XDRMarshaller::put_byte(uint8_t v) { put_be32(v); }
void XDRMarshaller::put_int16(int16_t v) {
  put_be32(static_cast<uint32_t>(static_cast<int32_t>(v)));
}
void XDRMarshaller::put_uint16(uint16_t v) { put_be32(v); }
void XDRMarshaller::put_int32(int32_t v) { put_be32(static_cast<uint32_t>(v)); }
void XDRMarshaller::put_uint32(uint32_t v) { put_be32(v); }
void XDRMarshaller::put_float32(float v) { put_values(&v, 1, Type::Float32); }
void XDRMarshaller::put_float64(double v) { put_values(&v, 1, Type::Float64); }
void XDRMarshaller::put_length(uint32_t n) { put_be32(n); }

void XDRMarshaller::put_str(const std::string& v) {
  if (v.size() > UINT32_MAX)
    throw Error(write_error, "string of " + std::to_string(v.size()) +
                                 " bytes is too long for XDR");
  put_be32(static_cast<uint32_t>(v.size()));
  put_raw(v.data(), v.size());
  put_byte_padding(v.size());
}

void XDRMarshaller::put_url(const std::string& v) { put_str(v); }

void XDRMarshaller::put_encoded(const void* bytes, size_t n) {
  put_raw(bytes, n);
}

void XDRMarshaller::put_byte_padding(size_t byte_count) {
  static const char kZeros[4] = {0, 0, 0, 0};
  put_raw(kZeros, padding_of(byte_count));
}

void XDRMarshaller::put_start_of_instance() { put_be32(kStartOfInstance); }
void XDRMarshaller::put_end_of_sequence() { put_be32(kEndOfSequence); }

void XDRMarshaller::put_values(const void* values, size_t count, Type t) {
  const size_t in_width = value_size(t);
  if (in_width == 0)
    throw Error(internal_error,
                std::string("put_values: not a numeric type: ") + type_name(t));
  if (t == Type::Byte) {
    put_raw(values, count);
    return;
  }
  const size_t out_width = in_width == 8 ? 8 : 4;
  const auto* src = static_cast<const char*>(values);
  while (count > 0) {
    if (d_buf.size() - d_used < out_width) flush();
    const size_t n = std::min(count, (d_buf.size() - d_used) / out_width);
    char* dst = d_buf.data() + d_used;
    visit_scalar(t, [&](auto tag) {
      using T = typename decltype(tag)::value_type;
      if constexpr (std::is_same_v<T, int16_t>)
        xdr::encode_i16(src, n, dst);
      else if constexpr (std::is_same_v<T, uint16_t>)
        xdr::encode_u16(src, n, dst);
      else if constexpr (std::is_same_v<T, double>)
        xdr::encode_64(src, n, dst);
      else if constexpr (std::is_arithmetic_v<T> && sizeof(T) == 4)
        xdr::encode_32(src, n, dst);
    });
    d_used += n * out_width;
    src += n * in_width;
    count -= n;
  }
}

}  // namespace libqvp
