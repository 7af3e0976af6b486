// The root group of an open netCDF file (or of an NcML data set's image) as a
// VirtualDataSet: what a member contributes to an aggregation.
#ifndef QVP_NC_MEMBERHEADER_H
#define QVP_NC_MEMBERHEADER_H

#include <cstdint>
#include <string>
#include <vector>

#include "VirtualDataSet.h"

namespace libqvp {

// Fills `out` (dims, globals, vars) from the root group of `ncid`. Variables
// take their values from member `member` under their own names. An enum
// variable becomes a variable of its base type; variables and attributes of
// other user-defined types are left out, and their names added to `omitted`.
// `name` names the file in messages. Throws Error(internal_error) when
// netCDF fails or an attribute holds more than 16 MiB.
void read_member_header(int ncid, uint32_t member, const std::string& name,
                        VirtualDataSet& out, std::vector<std::string>& omitted);

// The attributes of variable `varid` of `ncid` (NC_GLOBAL for the group's).
std::vector<VirtualAttribute> read_attributes(
    int ncid, int varid, const std::string& name,
    std::vector<std::string>& omitted);

}  // namespace libqvp

#endif  // QVP_NC_MEMBERHEADER_H
