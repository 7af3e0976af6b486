// The dimension table of one open file.
#include "NcDimensions.h"

#include <netcdf.h>

#include "NcFile.h"

namespace libqvp {

const NcDimensions::Dimension& NcDimensions::get(int ncid, int dimid,
                                                 const std::string& variable) {
  const auto key = std::make_pair(ncid, dimid);
  auto it = d_known.find(key);
  if (it != d_known.end()) return it->second;
  char name[NC_MAX_NAME + 1] = {};
  Dimension d;
  check_nc(nc_inq_dim(ncid, dimid, name, &d.length),
           "Cannot read a dimension of \"" + variable + "\"");
  d.name = name;
  return d_known.emplace(key, std::move(d)).first->second;
}

}  // namespace libqvp
