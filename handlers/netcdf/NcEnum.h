// Variables of netCDF enum types, served as their base integer type with the
// enum's names and values as CF flag attributes.
#ifndef QVP_NC_NCENUM_H
#define QVP_NC_NCENUM_H

#include <libqvp/AttrTable.h>

#include <cstddef>
#include <vector>

#include "NcVariable.h"

namespace libqvp {

// As read_nc_box, for any variable that describe_variable serves: enum
// values are read raw and converted from the base type.
void read_served_box(const NcVariable& v, const std::vector<size_t>& start,
                     const std::vector<size_t>& stride,
                     const std::vector<size_t>& count, void* out);

// Adds to `table` the members of enum variable `v` (v.base set), in the
// type's order:
//   Int32 flag_values 0, 1, 255;
//   String flag_meanings "clear partly cloudy";
// (values in the variable's type, except Int16 for Byte, which remote
// clients would read as signed; names joined by blanks, blanks inside a name
// written as '_'), unless the
// table has these attributes already. Throws Error(internal_error) when
// netCDF fails.
void add_enum_attributes(const NcVariable& v, AttrTable& table);

}  // namespace libqvp

#endif  // QVP_NC_NCENUM_H
