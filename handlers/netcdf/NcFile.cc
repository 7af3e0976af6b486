// Opening and closing netCDF files; netCDF status codes as Errors.
#include "NcFile.h"

#include <fcntl.h>
#include <libqvp/Error.h>
#include <libqvp/FileDescriptor.h>
#include <libqvp/Pool.h>
#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "ClassicHeader.h"
#include "RawRunReader.h"
#include "ncml/NcmlDataSet.h"

namespace libqvp {

std::string base_name(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void check_nc(int status, const std::string& context) {
  if (status == NC_NOERR) return;
  // Out of memory, or HDF5's report of any failure inside it (a failed
  // allocation among them): a pool worker is replaced after this reply.
  if (status == NC_ENOMEM || status == NC_EHDFERR) Pool::retire_after_request();
  throw Error(internal_error, context + ": " + nc_strerror(status));
}

namespace {

[[noreturn]] void missing_data_set(const std::string& name) {
  throw Error(no_such_data_set, "No such data set: \"" + name + "\"");
}

// Opens `path` without blocking (a fifo would wait for a writer) into `file`
// and checks that it is a regular file; returns its size.
uint64_t open_regular(const std::string& path, const std::string& name,
                      FileDescriptor& file) {
  file.reset(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0 && (errno == ENOENT || errno == ENOTDIR))
    missing_data_set(name);
  const std::string context = "Cannot read the data set \"" + name + "\": ";
  if (file.get() < 0) throw Error(internal_error, context + strerror(errno));
  struct stat st {};
  if (fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode))
    throw Error(internal_error, context + "not a regular file");
  return static_cast<uint64_t>(st.st_size);
}

}  // namespace

NcFile::NcFile(const std::string& path, size_t io_bytes)
    : d_name(base_name(path)) {
  if (NcmlDataSet::names_document(path)) {
    d_ncml = NcmlDataSet::open(path);
    d_ncid = d_ncml->ncid();
    return;
  }
  FileDescriptor file;
  const uint64_t size = open_regular(path, d_name, file);
  if (ClassicHeader::version_of(file.get()) != 0) {
    ClassicHeader header(file.get(), size, d_name);
    d_raw = std::make_shared<RawRunReader>(std::move(file), std::move(header),
                                           d_name);
  }
  const int status = nc__open(path.c_str(), NC_NOWRITE, &io_bytes, &d_ncid);
  if (status == ENOENT || status == ENOTDIR) missing_data_set(d_name);
  check_nc(status, "Cannot read the data set \"" + d_name + "\"");
}

NcFile::~NcFile() {
  if (d_ncml)
    d_ncml->release_members();
  else if (d_ncid >= 0)
    nc_close(d_ncid);
}

}  // namespace libqvp
