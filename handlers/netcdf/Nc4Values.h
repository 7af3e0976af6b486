// The values of one variable of a netCDF-4 download, copied from the data
// set into the output file box by box.
#ifndef QVP_NC_NC4VALUES_H
#define QVP_NC_NC4VALUES_H

#include <cstddef>

#include "NcFile.h"
#include "NcOutputPlan.h"

namespace libqvp {

// Copies the selection of `v` (a variable of `plan`, planned for
// OutputFormat::netcdf4) into variable `out_varid` of output group
// `out_group`, in boxes of at most about kNc4BoxBytes. Values of a netCDF
// file are read in their own type, whatever it is; those that an NcML data
// set's members hold come through the data set's reads (as the data response
// gets them) and netCDF converts them back to the variable's type. Throws
// Error(internal_error) when netCDF fails, and the NcML data set's errors.
void copy_nc4_values(const NcFile& file, const NcOutputPlan& plan,
                     const OutputVariable& v, int out_group, int out_varid);

constexpr size_t kNc4BoxBytes = size_t{1} << 20;

}  // namespace libqvp

#endif  // QVP_NC_NC4VALUES_H
