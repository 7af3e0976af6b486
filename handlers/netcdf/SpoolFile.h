// A file that a download is written to before it is sent, for a writer
// that needs a path (the netCDF library). The file's name is unlinked as
// soon as the writer has opened it, so that the file goes away with its
// last descriptor on every path: a return, an Error, the time limit's
// _exit, a crash.
#ifndef QVP_NC_SPOOLFILE_H
#define QVP_NC_SPOOLFILE_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace libqvp {

class SpoolFile {
 public:
  // Creates an empty file of a unique name (mkstemp, mode 0600) in the
  // NcML index directory (IndexStore::directory()), or in ${TMPDIR:-/tmp}
  // when that cannot be used. Throws Error(internal_error) when it cannot.
  SpoolFile();
  // Closes the descriptor, and unlinks the name if it is still there.
  ~SpoolFile();
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;

  // The name, for the writer to open; "" once released.
  const std::string& path() const { return d_path; }
  // Unlinks the name (the writer keeps what it has open).
  void release_name();

  // The file's size now.
  uint64_t size() const;
  // Writes the whole file to `out`. Throws Error(internal_error) when it
  // cannot be read, Error(write_error) when `out` fails.
  void send(FILE* out) const;

 private:
  int d_fd = -1;
  std::string d_path;
};

}  // namespace libqvp

#endif  // QVP_NC_SPOOLFILE_H
