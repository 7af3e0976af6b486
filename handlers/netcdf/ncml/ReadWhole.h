// Reading a file's first bytes whole, for the files the NcML code reads at
// once (documents and index files).
#ifndef QVP_NC_READWHOLE_H
#define QVP_NC_READWHOLE_H

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string>

namespace libqvp {

// Reads the first `size` bytes of the file open on `fd` into `out` (with
// pread: the file offset is unchanged). False when the file ends before
// them or a read fails. Never throws but std::bad_alloc.
inline bool read_whole(int fd, size_t size, std::string& out) {
  out.assign(size, '\0');
  size_t got = 0;
  while (got < size) {
    const ssize_t n =
        pread(fd, out.data() + got, size - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace libqvp

#endif  // QVP_NC_READWHOLE_H
