// One switch over the atomic netCDF types for values that netCDF's typed
// readers cannot convert (it refuses them for enums and compound members).
#include "NcValues.h"

#include <libqvp/Error.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

namespace libqvp {
namespace {

template <typename From, typename To>
void widen(const unsigned char* src, size_t step, size_t n, To* out) {
  for (size_t i = 0; i < n; ++i) {
    From v;
    memcpy(&v, src + i * step, sizeof v);
    out[i] = static_cast<To>(v);
  }
}

// 64-bit integers only where a double holds them exactly.
template <typename From>
void exact(const unsigned char* src, size_t step, size_t n, double* out,
           const std::string& name) {
  constexpr double kLimit =
      std::is_signed_v<From> ? 9223372036854775808.0 : 18446744073709551616.0;
  for (size_t i = 0; i < n; ++i) {
    From v;
    memcpy(&v, src + i * step, sizeof v);
    const double d = static_cast<double>(v);
    if (d >= kLimit || static_cast<From>(d) != v)
      throw Error(internal_error, "A value of \"" + name + "\" (" +
                                      std::to_string(v) +
                                      ") has no exact Float64 form");
    out[i] = d;
  }
}

void chars(const unsigned char* src, size_t step, size_t n, size_t len,
           std::string* out) {
  for (size_t i = 0; i < n; ++i) {
    const char* s = reinterpret_cast<const char*>(src + i * step);
    out[i].assign(s, strnlen(s, len));
  }
}

}  // namespace

size_t atomic_size(nc_type t) {
  switch (t) {
    case NC_BYTE:
    case NC_UBYTE:
    case NC_CHAR:
      return 1;
    case NC_SHORT:
    case NC_USHORT:
      return 2;
    case NC_INT:
    case NC_UINT:
    case NC_FLOAT:
      return 4;
    case NC_INT64:
    case NC_UINT64:
    case NC_DOUBLE:
      return 8;
    default:
      return 0;
  }
}

void convert_atomic(nc_type t, size_t string_length, const unsigned char* src,
                    size_t step, size_t n, void* out, const std::string& name) {
  switch (t) {
    case NC_BYTE:
      return widen<signed char>(src, step, n, static_cast<int16_t*>(out));
    case NC_UBYTE:
      return widen<uint8_t>(src, step, n, static_cast<uint8_t*>(out));
    case NC_SHORT:
      return widen<int16_t>(src, step, n, static_cast<int16_t*>(out));
    case NC_USHORT:
      return widen<uint16_t>(src, step, n, static_cast<uint16_t*>(out));
    case NC_INT:
      return widen<int32_t>(src, step, n, static_cast<int32_t*>(out));
    case NC_UINT:
      return widen<uint32_t>(src, step, n, static_cast<uint32_t*>(out));
    case NC_FLOAT:
      return widen<float>(src, step, n, static_cast<float*>(out));
    case NC_DOUBLE:
      return widen<double>(src, step, n, static_cast<double*>(out));
    case NC_INT64:
      return exact<int64_t>(src, step, n, static_cast<double*>(out), name);
    case NC_UINT64:
      return exact<uint64_t>(src, step, n, static_cast<double*>(out), name);
    case NC_CHAR:
      return chars(src, step, n, string_length, static_cast<std::string*>(out));
    default:
      throw Error(internal_error, "\"" + name + "\" has no readable type");
  }
}

}  // namespace libqvp
