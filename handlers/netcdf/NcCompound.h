// Variables of netCDF compound types, served as Structures. A compound
// variable with dimensions becomes a Structure of arrays: each member an
// array over the variable's dimensions followed by the member's own, so that
// `obs.temp[0:3]` selects within it as for any array.
#ifndef QVP_NC_NCCOMPOUND_H
#define QVP_NC_NCCOMPOUND_H

#include <libqvp/BaseType.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "NcVariable.h"

namespace libqvp {

// A served member of a compound type: atomic values (numbers, characters;
// an enum member as its base type) or a nested compound without dimensions.
struct NcMember {
  std::string name;
  size_t offset = 0;           // bytes from the start of the outermost record
  nc_type xtype = NC_NAT;      // the values' atomic type; NC_NAT when nested
  nc_type enum_type = NC_NAT;  // the enum type of an enum member
  Type type = Type::Byte;      // the core type of the values
  std::vector<size_t> dims;    // the member's own (a char member's less last)
  size_t string_length = 0;    // characters per value of a char member
  std::vector<NcMember> members;  // of a nested compound
};

// A compound variable: its shape (v.type is Structure), its record size and
// its served members. `omitted` names the members left out ("obs.note"), with
// their kind: "obs.note (string)".
struct NcCompound {
  NcVariable v;
  size_t record_size = 0;
  std::vector<NcMember> members;
  std::vector<std::string> omitted;
};

// Compound types nested deeper than this, or with more members than this
// (counting the members of nested types at each use), are refused.
constexpr int kMaxCompoundDepth = 16;
constexpr size_t kMaxCompoundMembers = 4096;

// Describes the compound variable `v` (from describe_variable). Members of
// string, vlen and opaque types, arrays of compounds inside a compound and
// members whose arrays exceed the core's sizes are left out and listed in
// `omitted`. Throws Error(internal_error) for a type nested deeper than
// kMaxCompoundDepth or with more than kMaxCompoundMembers members, or when
// netCDF fails.
NcCompound describe_compound(const NcVariable& v);

// The Structure that serves `c`; values are read lazily, one run of records
// (at most about 1 MiB) at a time. The file must stay open while it is used.
std::unique_ptr<BaseType> compound_variable(const NcCompound& c);

}  // namespace libqvp

#endif  // QVP_NC_NCCOMPOUND_H
