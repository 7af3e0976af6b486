#include "NcCoordinates.h"

#include <netcdf.h>

#include <vector>

namespace libqvp {

int defining_group(int ncid, int dimid) {
  for (int g = ncid;;) {
    int n = 0;
    if (nc_inq_dimids(g, &n, nullptr, 0) != NC_NOERR) return -1;
    std::vector<int> ids(static_cast<size_t>(n));
    if (n > 0 && nc_inq_dimids(g, &n, ids.data(), 0) != NC_NOERR) return -1;
    for (int id : ids)
      if (id == dimid) return g;
    int parent = -1;
    if (nc_inq_grp_parent(g, &parent) != NC_NOERR) return -1;
    g = parent;
  }
}

bool coordinate_of(const NcVariable& v, size_t d, NcDimensions& dims,
                   NcVariable& c) {
  const int g = defining_group(v.ncid, v.dimids[d]);
  int cid = -1;
  if (g < 0 || nc_inq_varid(g, v.dim_names[d].c_str(), &cid) != NC_NOERR)
    return false;
  if ((g == v.ncid && cid == v.varid) || !describe_variable(g, cid, dims, c))
    return false;
  return is_numeric_type(c.type) && c.dimids.size() == 1 &&
         c.dimids[0] == v.dimids[d];
}

}  // namespace libqvp
