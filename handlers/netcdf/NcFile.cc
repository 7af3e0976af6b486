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
#include "OpenFiles.h"
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
// and checks that it is a regular file; returns its size and sets
// `identity`, when not null, to the identity of the file opened.
uint64_t open_regular(const std::string& path, const std::string& name,
                      FileDescriptor& file, FileIdentity* identity) {
  file.reset(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0 && (errno == ENOENT || errno == ENOTDIR))
    missing_data_set(name);
  const std::string context = "Cannot read the data set \"" + name + "\": ";
  if (file.get() < 0) throw Error(internal_error, context + strerror(errno));
  struct stat st {};
  if (fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode))
    throw Error(internal_error, context + "not a regular file");
  if (identity != nullptr) *identity = FileIdentity::of(st);
  return static_cast<uint64_t>(st.st_size);
}

// Opens the netCDF file `path` (its messages naming it `name`), checking a
// classic-format header first.
std::shared_ptr<OpenNcFile> open_netcdf(const std::string& path,
                                        const std::string& name,
                                        size_t io_bytes,
                                        FileIdentity* identity) {
  auto opened = std::make_shared<OpenNcFile>();
  FileDescriptor file;
  const uint64_t size = open_regular(path, name, file, identity);
  if (ClassicHeader::version_of(file.get()) != 0) {
    ClassicHeader header(file.get(), size, name);
    opened->raw = std::make_shared<RawRunReader>(std::move(file),
                                                 std::move(header), name);
  }
  const int status =
      nc__open(path.c_str(), NC_NOWRITE, &io_bytes, &opened->ncid);
  if (status == ENOENT || status == ENOTDIR) missing_data_set(name);
  check_nc(status, "Cannot read the data set \"" + name + "\"");
  return opened;
}

}  // namespace

NcFile::NcFile(const std::string& path, size_t io_bytes, Reuse reuse)
    : d_name(base_name(path)) {
  if (NcmlDataSet::names_document(path)) {
    d_ncml = NcmlDataSet::open(path);
    d_ncid = d_ncml->ncid();
    return;
  }
  if (reuse == Reuse::fresh)
    d_open = open_netcdf(path, d_name, io_bytes, nullptr);
  else
    d_open = OpenFiles::open(path, io_bytes, [&](FileIdentity* identity) {
      return open_netcdf(path, d_name, io_bytes, identity);
    });
  d_ncid = d_open->ncid;
  d_raw = d_open->raw;
}

NcFile::~NcFile() {
  if (d_ncml) d_ncml->release_members();
  if (d_raw) d_raw->release_buffer();
}

}  // namespace libqvp
