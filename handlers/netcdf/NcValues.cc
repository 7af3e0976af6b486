// Conversion of the atomic netCDF types for values that netCDF's typed
// readers cannot convert (it refuses them for enums and compound members).
#include "NcValues.h"

#include <libqvp/Error.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "InexactValue.h"

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

// 64-bit integers only where a double holds them exactly; `first` is the
// position of the first value among those the caller's reader fills.
template <typename From>
void exact(const unsigned char* src, size_t step, size_t n, double* out,
           const std::string& name, size_t first) {
  for (size_t i = 0; i < n; ++i) {
    From v;
    memcpy(&v, src + i * step, sizeof v);
    if (!has_exact_double(v))
      throw InexactValue(name, std::to_string(v), first + i);
    out[i] = static_cast<double>(v);
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
  return visit_nc_atomic(
      t, [](auto tag) { return sizeof(typename decltype(tag)::type); },
      [] { return size_t{0}; });
}

void convert_atomic(nc_type t, size_t string_length, const unsigned char* src,
                    size_t step, size_t n, void* out, const std::string& name,
                    size_t first) {
  visit_nc_atomic(
      t,
      [&](auto tag) {
        using T = typename decltype(tag)::type;
        if constexpr (std::is_same_v<T, char>) {
          chars(src, step, n, string_length, static_cast<std::string*>(out));
        } else if constexpr (std::is_integral_v<T> && sizeof(T) == 8) {
          exact<T>(src, step, n, static_cast<double*>(out), name, first);
        } else {
          // The core has no signed byte: NC_BYTE widens to Int16.
          using Out =
              std::conditional_t<std::is_same_v<T, signed char>, int16_t, T>;
          widen<T>(src, step, n, static_cast<Out*>(out));
        }
      },
      [&] {
        throw Error(internal_error, "\"" + name + "\" has no readable type");
      });
}

}  // namespace libqvp
