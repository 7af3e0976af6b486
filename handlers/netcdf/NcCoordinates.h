// Where a variable's dimensions and their coordinate variables are defined.
#ifndef QVP_NC_NCCOORDINATES_H
#define QVP_NC_NCCOORDINATES_H

#include <cstddef>

#include "NcDimensions.h"
#include "NcVariable.h"

namespace libqvp {

// The group, `ncid` or one of its ancestors, that defines dimension `dimid`
// (netCDF resolves a group's dimensions outwards); -1 when none does.
int defining_group(int ncid, int dimid);

// The coordinate variable of dimension `d` of `v` into `c`: a
// one-dimensional numeric variable named after the dimension, along it, in
// the group that defines the dimension. False when there is none. Throws
// Error when netCDF fails.
bool coordinate_of(const NcVariable& v, size_t d, NcDimensions& dims,
                   NcVariable& c);

}  // namespace libqvp

#endif  // QVP_NC_NCCOORDINATES_H
