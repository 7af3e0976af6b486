// The DDS of a netCDF file.
#ifndef QVP_NC_NCDDS_H
#define QVP_NC_NCDDS_H

#include <libqvp/DDS.h>

#include "NcFile.h"

namespace libqvp {

// Adds the variables of `file`'s root group to `dds`, in the file's order,
// and names the DDS after the file. A variable whose every dimension has a
// one-dimensional numeric coordinate variable becomes a Grid with those as
// maps (the coordinate variables are also served on their own); other
// variables become Arrays, or scalars when they have no dimension; character
// variables lose their last dimension and hold Strings. Values are read
// lazily from `file`, which must stay open while `dds` is used. Variables of
// user-defined types, and those too large to describe, are left out. Throws
// Error(internal_error) when netCDF fails.
void build_dds(const NcFile& file, DDS& dds);

}  // namespace libqvp

#endif  // QVP_NC_NCDDS_H
