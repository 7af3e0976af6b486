// The group count is checked before the ids are fetched, so nothing is
// allocated for a group list past the bound.
#include "NcGroupWalker.h"

#include <libqvp/Error.h>
#include <netcdf.h>

#include "NcFile.h"

namespace libqvp {

std::vector<int> NcGroupWalker::children(int ncid, int depth) {
  int n = 0;
  check_nc(nc_inq_grps(ncid, &n, nullptr), "Cannot read the groups");
  if (n <= 0) return {};
  if (depth + 1 > kMaxDepth)
    throw Error(internal_error, "The data set nests groups more than " +
                                    std::to_string(kMaxDepth) + " levels deep");
  d_seen += static_cast<size_t>(n);
  if (d_seen > kMaxGroups)
    throw Error(internal_error, "The data set has more than " +
                                    std::to_string(kMaxGroups) + " groups");
  std::vector<int> ids(static_cast<size_t>(n));
  check_nc(nc_inq_grps(ncid, &n, ids.data()), "Cannot read the groups");
  return ids;
}

std::string group_name(int ncid) {
  char name[NC_MAX_NAME + 1] = {};
  check_nc(nc_inq_grpname(ncid, name), "Cannot read a group's name");
  return name;
}

}  // namespace libqvp
