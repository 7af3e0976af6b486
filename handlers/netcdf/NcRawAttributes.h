// A variable's (or a group's) attributes as the file stores them, for a
// download that keeps their types: values in native memory order.
#ifndef QVP_NC_NCRAWATTRIBUTES_H
#define QVP_NC_NCRAWATTRIBUTES_H

#include <netcdf.h>

#include <cstddef>
#include <string>
#include <vector>

namespace libqvp {

struct NcRawAttribute {
  std::string name;
  nc_type type = NC_NAT;  // atomic: NC_CHAR for text, never NC_STRING
  size_t count = 0;       // values (characters for NC_CHAR)
  std::vector<unsigned char> values;  // count values as netCDF gives them
};

// The attributes of variable `varid` of group `ncid` (NC_GLOBAL for the
// group's own), in the file's order. An enum attribute becomes its base
// type; a string attribute becomes text (several strings joined with
// newlines); attributes of other user-defined types are left out. Throws
// Error(internal_error) when netCDF fails or an attribute is larger than
// kMaxAttributeBytes.
std::vector<NcRawAttribute> read_raw_attributes(int ncid, int varid);

// A text attribute.
NcRawAttribute text_attribute(const std::string& name, const std::string& text);

}  // namespace libqvp

#endif  // QVP_NC_NCRAWATTRIBUTES_H
