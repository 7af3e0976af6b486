// A netCDF file open in the netCDF library, shared by the NcFile objects of
// the requests that read it; closed when the last owner lets it go.
#ifndef QVP_NC_OPENNCFILE_H
#define QVP_NC_OPENNCFILE_H

#include <memory>

namespace libqvp {

class RawRunReader;

struct OpenNcFile {
  OpenNcFile() = default;
  ~OpenNcFile();
  OpenNcFile(const OpenNcFile&) = delete;
  OpenNcFile& operator=(const OpenNcFile&) = delete;

  int ncid = -1;                      // closed on destruction when >= 0
  std::shared_ptr<RawRunReader> raw;  // classic-format files only
};

}  // namespace libqvp

#endif  // QVP_NC_OPENNCFILE_H
