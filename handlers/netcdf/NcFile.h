// An open netCDF file, closed when the object goes away unless a pool worker
// keeps it open for later requests (OpenFiles).
#ifndef QVP_NC_NCFILE_H
#define QVP_NC_NCFILE_H

#include <cstddef>
#include <memory>
#include <string>

namespace libqvp {

class NcmlDataSet;
class RawRunReader;
struct OpenNcFile;

class NcFile {
 public:
  // Opens `path` read-only. `io_bytes` is the I/O size the netCDF library
  // uses for classic files: kNcIoBytes suits reading values box by box; 0,
  // the library's default, suits reading only the header (a large size costs
  // a buffer of that size, cleared, at every open). A classic-format file's
  // header is checked first (ClassicHeader), so
  // that a damaged one is refused before the netCDF library parses it.
  // Throws Error: no_such_variable (answered with 404) when the file does not
  // exist, internal_error when it is not a regular file, is damaged or cannot
  // be read as netCDF. Messages name the file by its last path component.
  // An NcML document (a name ending in .ncml) opens the netCDF-4 image that
  // describes its data set (NcmlDataSet); reads of the values its members
  // hold go to the members, and NcmlDataSet's Errors are thrown.
  // A netCDF file is opened through OpenFiles (kept open in a pool worker)
  // unless `reuse` is fresh: the members of an NcML data set, which would
  // push the data sets asked for out of that cache.
  enum class Reuse { kept, fresh };
  explicit NcFile(const std::string& path, size_t io_bytes = 0,
                  Reuse reuse = Reuse::kept);
  ~NcFile();
  NcFile(const NcFile&) = delete;
  NcFile& operator=(const NcFile&) = delete;

  // The netCDF id; valid while this object lives.
  int id() const { return d_ncid; }
  // The file's last path component, as messages and the DDS name it.
  const std::string& name() const { return d_name; }
  // Reads values of a classic-format file as they lie on disk; null for
  // other formats. Shared so that arrays' readers can keep it.
  const std::shared_ptr<RawRunReader>& raw_reader() const { return d_raw; }
  // The NcML data set this file describes; null for a netCDF file.
  NcmlDataSet* ncml() const { return d_ncml.get(); }

 private:
  int d_ncid = -1;
  std::string d_name;
  std::shared_ptr<RawRunReader> d_raw;
  std::shared_ptr<OpenNcFile> d_open;   // owns d_ncid for a netCDF file
  std::shared_ptr<NcmlDataSet> d_ncml;  // owns d_ncid for an NcML document
};

// The I/O size the netCDF library is asked to use for classic files whose
// values are read.
constexpr size_t kNcIoBytes = size_t{1} << 20;

// Throws Error(internal_error, "<context>: <netCDF's message>") unless
// `status` is NC_NOERR; for NC_ENOMEM and NC_EHDFERR it first asks the pool
// to replace this worker after the request (Pool::retire_after_request).
void check_nc(int status, const std::string& context);

// The last path component of `path` ("sst.nc" for "/data/sst.nc").
std::string base_name(const std::string& path);

}  // namespace libqvp

#endif  // QVP_NC_NCFILE_H
