#include "VirtualDataSet.h"

namespace libqvp {

int VirtualDataSet::find_dim(const std::string& name) const {
  for (size_t i = 0; i < dims.size(); ++i)
    if (dims[i].name == name) return static_cast<int>(i);
  return -1;
}

int VirtualDataSet::find_var(const std::string& name) const {
  for (size_t i = 0; i < vars.size(); ++i)
    if (vars[i].name == name) return static_cast<int>(i);
  return -1;
}

size_t VirtualDataSet::element_count(const VirtualVariable& v) const {
  size_t n = 1;
  for (size_t d : v.dims) n *= dims[d].length;
  return n;
}

size_t value_bytes(nc_type t) {
  switch (t) {
    case NC_BYTE:
    case NC_UBYTE:
    case NC_CHAR:
      return 1;
    case NC_SHORT:
    case NC_USHORT:
      return 2;
    case NC_INT:
    case NC_UINT:
    case NC_FLOAT:
      return 4;
    case NC_INT64:
    case NC_UINT64:
    case NC_DOUBLE:
      return 8;
    case NC_STRING:
      return sizeof(char*);
    default:
      return 0;
  }
}

}  // namespace libqvp
