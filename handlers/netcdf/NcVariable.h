// How one netCDF variable of a group is served: its core type and the
// dimensions it has in the DDS.
#ifndef QVP_NC_NCVARIABLE_H
#define QVP_NC_NCVARIABLE_H

#include <libqvp/Type.h>
#include <netcdf.h>

#include <cstddef>
#include <string>
#include <vector>

namespace libqvp {

class NcDimensions;

struct NcVariable {
  int ncid = -1;
  int varid = -1;
  std::string name;
  nc_type xtype = NC_NAT;
  nc_type base = NC_NAT;   // an enum's base type; NC_NAT for atomic types
  Type type = Type::Byte;  // the core element type; Structure for a compound
  // The served dimensions: all of the variable's, less the last one of a
  // character variable, which holds the string length.
  std::vector<int> dimids;
  std::vector<std::string> dim_names;
  std::vector<size_t> dim_sizes;
  size_t string_length = 0;  // characters per string of an NC_CHAR variable

  bool is_char() const { return xtype == NC_CHAR; }
  // The atomic type of the values: an enum's base type, else xtype.
  nc_type value_type() const { return base != NC_NAT ? base : xtype; }
  bool is_compound() const { return type == Type::Structure; }
  // Elements over the served dimensions; SIZE_MAX when that overflows.
  size_t element_count() const;
};

// Fills `v` for variable `varid` of `ncid`, its dimensions from `dims`. Returns
// false when the variable cannot be served: a vlen or opaque type (an enum's
// values are served as its base type; a compound is described by its shape,
// with type Structure), a compound record over kMaxRecordBytes, a dimension
// larger than the core's int sizes, more than kMaxElements elements (the count
// that one response can carry), or a string length over kMaxStringLength.
// Throws Error when netCDF fails.
bool describe_variable(int ncid, int varid, NcDimensions& dims, NcVariable& v);

// The core type that serves netCDF values of `xtype`; false for none:
//   NC_BYTE Int16 (netCDF bytes are signed), NC_UBYTE Byte, NC_SHORT Int16,
//   NC_USHORT UInt16, NC_INT Int32, NC_UINT UInt32, NC_INT64 and NC_UINT64
//   Float64, NC_FLOAT Float32, NC_DOUBLE Float64, NC_CHAR and NC_STRING
//   String.
bool core_type_of(nc_type xtype, Type& t);

constexpr size_t kMaxElements = 0xFFFFFFFFu;

// The largest compound record served: compound values are read at least one
// record at a time.
constexpr size_t kMaxRecordBytes = size_t{16} << 20;

// The longest string an NC_CHAR variable may hold to be served.
constexpr size_t kMaxStringLength = size_t{1} << 20;

}  // namespace libqvp

#endif  // QVP_NC_NCVARIABLE_H
