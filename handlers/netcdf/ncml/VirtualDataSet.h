// The data set an NcML document describes: its dimensions, attributes and
// variables, and where each variable's values come from (values of its own,
// one member's variable, or the members' variables joined along the outer
// dimension).
#ifndef QVP_NC_VIRTUALDATASET_H
#define QVP_NC_VIRTUALDATASET_H

#include <netcdf.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FileIdentity.h"

namespace libqvp {

// An attribute's values: the text of an NC_CHAR attribute, the strings of an
// NC_STRING one, otherwise `count` values in native byte order in `bytes`.
struct VirtualAttribute {
  std::string name;
  nc_type type = NC_CHAR;
  size_t count = 0;
  std::string bytes;
  std::vector<std::string> strings;
};

struct VirtualDimension {
  std::string name;
  size_t length = 0;
};

enum class ValueSource : uint8_t {
  own,     // values held here (`values`, or `strings` for NC_STRING)
  member,  // variable `member_name` of member `member`
  joined,  // `member_name` of every member, joined along the first dimension
};

struct VirtualVariable {
  std::string name;
  nc_type type = NC_FLOAT;
  std::vector<size_t> dims;  // indices into VirtualDataSet::dims
  std::vector<VirtualAttribute> attributes;
  ValueSource source = ValueSource::own;
  uint32_t member = 0;
  std::string member_name;
  std::string values;  // native bytes, for source own
  std::vector<std::string> strings;
};

// One member: a netCDF file or an NcML document inside the data root.
struct VirtualMember {
  std::string path;     // real path
  std::string display;  // as messages name it: relative to the document
  FileIdentity identity;
  uint64_t offset = 0;  // its first index along the joined dimension
  uint64_t length = 0;  // its indices along the joined dimension
  bool listed = false;  // named by the document rather than found by a scan
  bool opened = false;  // its header was checked when the index was made
};

struct VirtualDataSet {
  enum class Kind : uint8_t { edit, join_existing, join_new, union_of };
  Kind kind = Kind::edit;
  std::vector<VirtualDimension> dims;
  std::vector<VirtualAttribute> globals;
  std::vector<VirtualVariable> vars;
  std::vector<VirtualMember> members;

  // Index of the dimension or variable named `name`; -1 when none is.
  int find_dim(const std::string& name) const;
  int find_var(const std::string& name) const;
  // The element count of `v` over its dimensions.
  size_t element_count(const VirtualVariable& v) const;
};

// Bytes of one value of the atomic type `t` in memory (a char* for
// NC_STRING); 0 for other types.
size_t value_bytes(nc_type t);

}  // namespace libqvp

#endif  // QVP_NC_VIRTUALDATASET_H
