// What tells one version of a file from another: a changed, replaced or
// touched file has another identity.
#ifndef QVP_NC_FILEIDENTITY_H
#define QVP_NC_FILEIDENTITY_H

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace libqvp {

struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t mtime_ns = 0;

  static FileIdentity of(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
            static_cast<uint64_t>(st.st_size),
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 +
                st.st_mtim.tv_nsec};
  }
  // The identity of `path` after following links; false when it cannot be
  // read.
  static bool of(const std::string& path, FileIdentity& out) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    out = of(st);
    return true;
  }
  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           mtime_ns == o.mtime_ns;
  }
  bool operator!=(const FileIdentity& o) const { return !(*this == o); }
};

}  // namespace libqvp

#endif  // QVP_NC_FILEIDENTITY_H
