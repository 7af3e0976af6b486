// The directory of index files that the processes serving NcML documents
// share: the pool's workers and CGI handlers alike read and write it.
#ifndef QVP_NC_INDEXSTORE_H
#define QVP_NC_INDEXSTORE_H

#include <string>

namespace libqvp {

class IndexStore {
 public:
  IndexStore() = delete;

  // The environment variable that names the directory; the pool's
  // --cache-dir sets it. Unset or empty: ${TMPDIR:-/tmp}/qvp-cache-<uid>.
  static constexpr const char* kVariable = "QVP_CACHE_DIR";

  // The directory, made (mode 0700) when missing; "" when it cannot be used
  // (not made, not a directory, not ours, or writable by others): indexes are
  // then made for each request and not kept, which is logged once per
  // process. Never throws.
  static std::string directory();

  // The index file of the document with real path `document` in `dir`.
  static std::string file_for(const std::string& dir,
                              const std::string& document);

  // Reads `file` into `bytes`; false when it cannot be read. Never throws.
  static bool read(const std::string& file, std::string& bytes);

  // Replaces `file` with `bytes` atomically (a temporary file beside it,
  // renamed over it), so that a reader sees the old index or the new one,
  // never a part. A failure is logged once per process. Never throws.
  static void write(const std::string& file, const std::string& bytes);
};

}  // namespace libqvp

#endif  // QVP_NC_INDEXSTORE_H
