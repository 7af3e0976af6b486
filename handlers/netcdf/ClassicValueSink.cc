// Numbers are converted in blocks into the buffer: a cast to the netCDF
// type's C type (exact, as the core types were widened from it), then the
// big-endian copy.
#include "ClassicValueSink.h"

#include <libqvp/Error.h>
#include <libqvp/visit_scalar.h>
#include <libqvp/write_all.h>

#include <algorithm>
#include <cstring>

#include "BigEndian.h"
#include "NcValues.h"

namespace libqvp {
namespace {

constexpr size_t kBufferBytes = size_t{1} << 20;

}  // namespace

ClassicValueSink::ClassicValueSink(FILE* out)
    : d_out(out), d_buf(kBufferBytes) {}

ClassicValueSink::~ClassicValueSink() {
  try {
    flush();
  } catch (const Error&) {
    // Released during unwinding: the first failure is already on its way.
  }
}

void ClassicValueSink::begin_variable(nc_type type, size_t string_length) {
  d_type = type;
  d_string_length = string_length;
}

char* ClassicValueSink::reserve(size_t n) {
  if (d_buf.size() - d_used < n) flush();
  if (d_buf.size() < n) d_buf.resize(n);
  char* at = d_buf.data() + d_used;
  d_used += n;
  d_written += n;
  return at;
}

void ClassicValueSink::put_bytes(std::string_view bytes) {
  put_encoded(bytes.data(), bytes.size());
}

void ClassicValueSink::put_zeros(size_t n) { std::memset(reserve(n), 0, n); }

void ClassicValueSink::put_encoded(const void* bytes, size_t n) {
  if (n >= kBufferBytes / 2) {  // large runs skip the copy into the buffer
    flush();
    write_all(d_out, std::string_view(static_cast<const char*>(bytes), n));
    d_written += n;
    return;
  }
  std::memcpy(reserve(n), bytes, n);
}

void ClassicValueSink::put_values(const void* values, size_t count, Type t) {
  const auto bad = [&](auto...) {
    throw Error(internal_error, "Values of type " + std::to_string(int(t)) +
                                    " cannot be written as netCDF type " +
                                    std::to_string(d_type));
  };
  visit_scalar(
      t,
      [&](auto tag) {
        using From = typename decltype(tag)::value_type;
        if constexpr (decltype(tag)::is_string) {
          bad();
        } else {
          visit_nc_atomic(
              d_type,
              [&](auto nc) {
                using To = typename decltype(nc)::type;
                const auto* src = static_cast<const From*>(values);
                constexpr size_t kBlock = 4096;
                To block[kBlock];
                for (size_t i = 0; i < count; i += kBlock) {
                  const size_t n = std::min(kBlock, count - i);
                  if constexpr (std::is_same_v<From, To>) {
                    copy_big_endian(src + i, n, sizeof(To),
                                    reserve(n * sizeof(To)));
                  } else {
                    for (size_t k = 0; k < n; ++k)
                      block[k] = static_cast<To>(src[i + k]);
                    copy_big_endian(block, n, sizeof(To),
                                    reserve(n * sizeof(To)));
                  }
                }
              },
              bad);
        }
      },
      bad);
}

void ClassicValueSink::put_byte(uint8_t v) { put_values(&v, 1, Type::Byte); }
void ClassicValueSink::put_int16(int16_t v) { put_values(&v, 1, Type::Int16); }
void ClassicValueSink::put_uint16(uint16_t v) {
  put_values(&v, 1, Type::UInt16);
}
void ClassicValueSink::put_int32(int32_t v) { put_values(&v, 1, Type::Int32); }
void ClassicValueSink::put_uint32(uint32_t v) {
  put_values(&v, 1, Type::UInt32);
}
void ClassicValueSink::put_float32(float v) {
  put_values(&v, 1, Type::Float32);
}
void ClassicValueSink::put_float64(double v) {
  put_values(&v, 1, Type::Float64);
}

void ClassicValueSink::put_str(const std::string& v) {
  char* at = reserve(d_string_length);
  const size_t n = std::min(v.size(), d_string_length);
  std::memcpy(at, v.data(), n);
  std::memset(at + n, 0, d_string_length - n);
}

void ClassicValueSink::put_url(const std::string& v) { put_str(v); }

void ClassicValueSink::put_start_of_instance() {
  throw Error(internal_error, "A netCDF file holds no sequences");
}

void ClassicValueSink::put_end_of_sequence() { put_start_of_instance(); }

void ClassicValueSink::flush() {
  if (d_used == 0) return;
  write_all(d_out, std::string_view(d_buf.data(), d_used));
  d_used = 0;
}

}  // namespace libqvp
