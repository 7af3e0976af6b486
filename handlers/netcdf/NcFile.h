// An open netCDF file, closed when the object goes away.
#ifndef QVP_NC_NCFILE_H
#define QVP_NC_NCFILE_H

#include <string>

namespace libqvp {

class NcFile {
 public:
  // Opens `path` read-only. Throws Error: no_such_variable (answered with
  // 404) when the file does not exist, internal_error when it cannot be read
  // as netCDF. Messages name the file by its last path component only.
  explicit NcFile(const std::string& path);
  ~NcFile();
  NcFile(const NcFile&) = delete;
  NcFile& operator=(const NcFile&) = delete;

  // The netCDF id; valid while this object lives.
  int id() const { return d_ncid; }
  // The file's last path component, as messages and the DDS name it.
  const std::string& name() const { return d_name; }

 private:
  int d_ncid = -1;
  std::string d_name;
};

// Throws Error(internal_error, "<context>: <netCDF's message>") unless
// `status` is NC_NOERR.
void check_nc(int status, const std::string& context);

// The last path component of `path` ("sst.nc" for "/data/sst.nc").
std::string base_name(const std::string& path);

}  // namespace libqvp

#endif  // QVP_NC_NCFILE_H
