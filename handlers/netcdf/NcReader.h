// Reading boxes of a netCDF variable's values into the core's value types.
#ifndef QVP_NC_NCREADER_H
#define QVP_NC_NCREADER_H

#include <libqvp/Array.h>

#include <cstddef>
#include <vector>

#include "NcVariable.h"

namespace libqvp {

// Reads the box of `v` that `start`, `stride` and `count` select (one entry
// per served dimension; all empty for a scalar) into `out`, row-major. `out`
// has room for the product of `count` values of the value type of `v.type`
// (std::string objects for String). Character variables give one string per
// element, cut at the first NUL. Throws Error(internal_error) when netCDF
// fails, and InexactValue (an Error) when a 64-bit integer has no exact
// Float64 value.
void read_nc_box(const NcVariable& v, const std::vector<size_t>& start,
                 const std::vector<size_t>& stride,
                 const std::vector<size_t>& count, void* out);

// A box reader for an Array that serves `v`; it keeps a copy of `v`, and the
// file must stay open while the array is read.
Array::BoxReader nc_box_reader(const NcVariable& v);

}  // namespace libqvp

#endif  // QVP_NC_NCREADER_H
