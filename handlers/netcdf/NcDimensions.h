// The dimensions of one open netCDF file, each asked of netCDF once.
// netCDF-4 works out an unlimited dimension's length by visiting every
// variable of the file that uses it, so asking once per variable made the
// DAS and DDS of a file with thousands of record variables take quadratic
// time. One table serves one response; it must not outlive the file.
#ifndef QVP_NC_NCDIMENSIONS_H
#define QVP_NC_NCDIMENSIONS_H

#include <cstddef>
#include <map>
#include <string>
#include <utility>

namespace libqvp {

class NcDimensions {
 public:
  struct Dimension {
    std::string name;
    size_t length = 0;
  };

  // Dimension `dimid` as group `ncid` sees it. Throws Error(internal_error)
  // naming `variable` when netCDF fails.
  const Dimension& get(int ncid, int dimid, const std::string& variable);

 private:
  std::map<std::pair<int, int>, Dimension> d_known;
};

}  // namespace libqvp

#endif  // QVP_NC_NCDIMENSIONS_H
