// Values read from a member at index time (join coordinates and the other
// variables along the joined dimension), and the element size of the core's
// value types.
#ifndef QVP_NC_MEMBERVALUES_H
#define QVP_NC_MEMBERVALUES_H

#include <libqvp/Type.h>

#include <cstddef>
#include <string>
#include <vector>

namespace libqvp {

// The values of the numeric variable `var` of the open file `ncid` (a plain
// file or an NcML data set's image) as doubles, read as responses read them.
// Throws Error naming `display` when the variable is missing or not numeric.
std::vector<double> read_member_doubles(int ncid, const std::string& var,
                                        const std::string& display);

// Bytes of one value of core type `t` in a box reader's buffer (a
// std::string object for String and Url); 0 for other types.
size_t core_value_bytes(Type t);

}  // namespace libqvp

#endif  // QVP_NC_MEMBERVALUES_H
