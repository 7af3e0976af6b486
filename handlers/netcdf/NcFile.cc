// Opening and closing netCDF files; netCDF status codes as Errors.
#include "NcFile.h"

#include <libqvp/Error.h>
#include <netcdf.h>

#include <cerrno>

namespace libqvp {

std::string base_name(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void check_nc(int status, const std::string& context) {
  if (status != NC_NOERR)
    throw Error(internal_error, context + ": " + nc_strerror(status));
}

NcFile::NcFile(const std::string& path) : d_name(base_name(path)) {
  const int status = nc_open(path.c_str(), NC_NOWRITE, &d_ncid);
  if (status == ENOENT || status == ENOTDIR)
    throw Error(no_such_variable, "No such data set: \"" + d_name + "\"");
  check_nc(status, "Cannot read the data set \"" + d_name + "\"");
}

NcFile::~NcFile() {
  if (d_ncid >= 0) nc_close(d_ncid);
}

}  // namespace libqvp
