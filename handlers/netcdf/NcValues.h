// Converting netCDF values held in raw memory (an enum's base values, the
// members of compound records) into the core's value types.
#ifndef QVP_NC_NCVALUES_H
#define QVP_NC_NCVALUES_H

#include <netcdf.h>

#include <cstddef>
#include <string>

namespace libqvp {

// Bytes one value of the atomic numeric or character type `t` takes in
// memory; 0 for any other type (strings, user-defined types).
size_t atomic_size(nc_type t);

// Converts `n` values of atomic type `t`, the first at `src` and each `step`
// bytes after the one before, into `out`, an array of the value type that
// core_type_of(t) gives (std::string for NC_CHAR: `string_length` characters
// per value, cut at the first NUL). Reads are unaligned-safe. Throws
// Error(internal_error) naming `name` when a 64-bit integer has no exact
// Float64 value or `t` is not atomic.
void convert_atomic(nc_type t, size_t string_length, const unsigned char* src,
                    size_t step, size_t n, void* out, const std::string& name);

}  // namespace libqvp

#endif  // QVP_NC_NCVALUES_H
