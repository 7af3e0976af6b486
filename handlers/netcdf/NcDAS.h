// The DAS of a netCDF file.
#ifndef QVP_NC_NCDAS_H
#define QVP_NC_NCDAS_H

#include <libqvp/DAS.h>

#include "NcFile.h"

namespace libqvp {

// Adds to `das` a container per variable of `file`'s root group (those the
// DDS serves) with the variable's attributes, a container per group with the
// group's attributes and, nested in it, its variables' and groups'
// containers, and the global attributes in the container "NC_GLOBAL".
// Attribute types map as variable types do (NC_BYTE Int16, NC_UBYTE Byte,
// ..., 64-bit integers Float64 with their exact digits); NC_CHAR text and
// NC_STRING values are Strings, trailing NULs dropped. Attributes of
// user-defined types are left out. Added for clients:
//   String _Unsigned "true";  on variables (and compound members) served as
//                             Byte, UInt16 or UInt32, unless present
//   flag_values, flag_meanings  on enum variables (see add_enum_attributes)
//   String omitted_variables "grp.blob (vlen)", "obs.note (string)";
//                             in NC_GLOBAL, naming what is not served
// A group attribute named like a variable or group of its group goes to
// NC_GLOBAL as "<group path>.<name>" (the member's container keeps the name).
// Throws Error(internal_error) when netCDF fails, an attribute holds more
// than kMaxAttributeBytes, or the groups or compound types exceed the
// walker's and kMaxCompoundDepth's bounds.
void build_das(const NcFile& file, DAS& das);

constexpr size_t kMaxAttributeBytes = size_t{16} << 20;

}  // namespace libqvp

#endif  // QVP_NC_NCDAS_H
