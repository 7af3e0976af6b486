// The netCDF files a pool worker keeps open between requests, keyed by path
// and I/O size and reused only while the file's identity (device, inode,
// size, modification time) is the one it was opened with: a changed,
// replaced or touched file is opened again, a removed one dropped. Bounded in
// count and in an estimate of the memory an open file holds. Off unless
// enabled: a one-request process opens every file afresh and keeps nothing.
#ifndef QVP_NC_OPENFILES_H
#define QVP_NC_OPENFILES_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "OpenNcFile.h"
#include "ncml/FileIdentity.h"

namespace libqvp {

class OpenFiles {
 public:
  OpenFiles() = delete;

  // Opens a file; sets the identity of the file it opened (from the open
  // descriptor) through its argument when that is not null. Throws Error.
  using Opener = std::function<std::shared_ptr<OpenNcFile>(FileIdentity*)>;

  // The open file of `path` for `io_bytes`: the kept one when the file's
  // identity now is the one it was opened with, else what `open` returns,
  // kept when the file it opened is the one the path named before. Every
  // lookup is counted (Pool::count_cache) as the cache kOpenFilesCache.
  // Disabled: `open` alone. Throws what `open` throws (the path's entry is
  // dropped first).
  static std::shared_ptr<OpenNcFile> open(const std::string& path,
                                          size_t io_bytes, const Opener& open);

  // Turns keeping files on (a pool worker, at its first request).
  static void enable();
  // Closes every file kept (one a library failed on may be unusable).
  static void clear();

  // The bounds: files kept, and the sum of their estimated memory.
  static constexpr size_t kMaxFiles = 16;
  static constexpr size_t kMaxBytes = size_t{24} << 20;
};

}  // namespace libqvp

#endif  // QVP_NC_OPENFILES_H
