// Converting netCDF values held in raw memory (an enum's base values, the
// members of compound records) into the core's value types.
#ifndef QVP_NC_NCVALUES_H
#define QVP_NC_NCVALUES_H

#include <netcdf.h>

#include <cstddef>
#include <string>

namespace libqvp {

template <typename T>
struct NcAtomicTag {
  using type = T;
};

// Returns f(NcAtomicTag<T>{}) with T the C type that holds one value of the
// atomic type `t` in memory (signed char for NC_BYTE, char for NC_CHAR,
// unsigned char, short, unsigned short, int, unsigned int, long long,
// unsigned long long, float, double), or otherwise() for any other type
// (strings, user-defined types). Both must return the same type.
template <typename F, typename G>
decltype(auto) visit_nc_atomic(nc_type t, F&& f, G&& otherwise) {
  switch (t) {
    case NC_BYTE:
      return f(NcAtomicTag<signed char>{});
    case NC_CHAR:
      return f(NcAtomicTag<char>{});
    case NC_UBYTE:
      return f(NcAtomicTag<unsigned char>{});
    case NC_SHORT:
      return f(NcAtomicTag<short>{});
    case NC_USHORT:
      return f(NcAtomicTag<unsigned short>{});
    case NC_INT:
      return f(NcAtomicTag<int>{});
    case NC_UINT:
      return f(NcAtomicTag<unsigned int>{});
    case NC_INT64:
      return f(NcAtomicTag<long long>{});
    case NC_UINT64:
      return f(NcAtomicTag<unsigned long long>{});
    case NC_FLOAT:
      return f(NcAtomicTag<float>{});
    case NC_DOUBLE:
      return f(NcAtomicTag<double>{});
    default:
      return otherwise();
  }
}

// Bytes one value of the atomic numeric or character type `t` takes in
// memory; 0 for any other type (strings, user-defined types).
size_t atomic_size(nc_type t);

// Converts `n` values of atomic type `t`, the first at `src` and each `step`
// bytes after the one before, into `out`, an array of the value type that
// core_type_of(t) gives (std::string for NC_CHAR: `string_length` characters
// per value, cut at the first NUL). Reads are unaligned-safe. Throws
// InexactValue naming `name` when a 64-bit integer has no exact Float64
// value (its position is `first` plus its place among the `n`), and
// Error(internal_error) when `t` is not atomic.
void convert_atomic(nc_type t, size_t string_length, const unsigned char* src,
                    size_t step, size_t n, void* out, const std::string& name,
                    size_t first = 0);

// True for netCDF's 64-bit integer types, which are served as Float64.
inline bool is_wide_integer(nc_type t) {
  return t == NC_INT64 || t == NC_UINT64;
}

}  // namespace libqvp

#endif  // QVP_NC_NCVALUES_H
