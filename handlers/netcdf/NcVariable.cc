// Reading a variable's type and shape from the netCDF header.
#include "NcVariable.h"

#include <climits>
#include <cstdint>

#include "NcDimensions.h"
#include "NcFile.h"

namespace libqvp {

bool core_type_of(nc_type xtype, Type& t) {
  switch (xtype) {
    case NC_BYTE:
      t = Type::Int16;
      return true;
    case NC_UBYTE:
      t = Type::Byte;
      return true;
    case NC_SHORT:
      t = Type::Int16;
      return true;
    case NC_USHORT:
      t = Type::UInt16;
      return true;
    case NC_INT:
      t = Type::Int32;
      return true;
    case NC_UINT:
      t = Type::UInt32;
      return true;
    case NC_INT64:
    case NC_UINT64:
    case NC_DOUBLE:
      t = Type::Float64;
      return true;
    case NC_FLOAT:
      t = Type::Float32;
      return true;
    case NC_CHAR:
    case NC_STRING:
      t = Type::String;
      return true;
    default:
      return false;
  }
}

size_t NcVariable::element_count() const {
  size_t n = 1;
  for (size_t s : dim_sizes) {
    if (s != 0 && n > SIZE_MAX / s) return SIZE_MAX;
    n *= s;
  }
  return n;
}

namespace {

// The core type of `v`, whose netCDF type is read: an atomic type, an enum
// (its base type) or a compound of at most kMaxRecordBytes a record; false
// for any other.
bool describe_type(NcVariable& v) {
  v.base = NC_NAT;
  if (v.xtype > NC_MAX_ATOMIC_TYPE) {
    int type_class = 0;
    size_t size = 0;
    check_nc(nc_inq_user_type(v.ncid, v.xtype, nullptr, &size, &v.base, nullptr,
                              &type_class),
             "Cannot read the type of \"" + v.name + "\"");
    if (type_class == NC_COMPOUND) {
      if (size > kMaxRecordBytes) return false;
      v.base = NC_NAT;
      v.type = Type::Structure;
    } else if (type_class != NC_ENUM) {
      return false;
    }
  }
  return v.is_compound() ||
         core_type_of(v.base != NC_NAT ? v.base : v.xtype, v.type);
}

// The dimensions of `v` from its `ndims` dimension ids; the last one of a
// character variable is its string length. False when one exceeds the core's
// sizes.
bool describe_dimensions(const int* dimids, int ndims, NcDimensions& dims,
                         NcVariable& v) {
  v.dimids.clear();
  v.dim_names.clear();
  v.dim_sizes.clear();
  v.string_length = 0;
  for (int d = 0; d < ndims; ++d) {
    const NcDimensions::Dimension& dim = dims.get(v.ncid, dimids[d], v.name);
    const size_t len = dim.length;
    if (v.is_char() && d == ndims - 1) {
      v.string_length = len;
      break;
    }
    if (len > static_cast<size_t>(INT_MAX)) return false;
    v.dimids.push_back(dimids[d]);
    v.dim_names.push_back(dim.name);
    v.dim_sizes.push_back(len);
  }
  if (v.is_char() && ndims == 0) v.string_length = 1;
  return true;
}

}  // namespace

bool describe_variable(int ncid, int varid, NcDimensions& dims, NcVariable& v) {
  char name[NC_MAX_NAME + 1] = {};
  int ndims = 0;
  int dimids[NC_MAX_VAR_DIMS];
  check_nc(nc_inq_var(ncid, varid, name, &v.xtype, &ndims, dimids, nullptr),
           "Cannot read variable " + std::to_string(varid));
  v.ncid = ncid;
  v.varid = varid;
  v.name = name;
  return describe_type(v) && describe_dimensions(dimids, ndims, dims, v) &&
         v.string_length <= kMaxStringLength &&
         v.element_count() <= kMaxElements;
}

}  // namespace libqvp
