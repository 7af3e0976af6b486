#include "IndexStore.h"

#include <fcntl.h>
#include <libqvp/FileDescriptor.h>
#include <libqvp/cgi_util.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ReadWhole.h"

namespace libqvp {
namespace {

void log_once(bool& logged, const std::string& message) {
  if (logged) return;
  logged = true;
  ErrMsgT(message);
}

bool write_all_fd(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string IndexStore::directory() {
  static bool logged = false;
  const char* set = std::getenv(kVariable);
  std::string dir;
  if (set != nullptr && *set != '\0') {
    dir = set;
  } else {
    const char* tmp = std::getenv("TMPDIR");
    dir = std::string(tmp != nullptr && *tmp == '/' ? tmp : "/tmp") +
          "/qvp-cache-" + std::to_string(geteuid());
  }
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    log_once(logged, "NcML indexes are not kept: cannot make \"" + dir +
                         "\": " + std::strerror(errno));
    return "";
  }
  struct stat st {};
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
      st.st_uid != geteuid() || (st.st_mode & 0022) != 0 ||
      access(dir.c_str(), W_OK | X_OK) != 0) {
    log_once(logged, "NcML indexes are not kept: \"" + dir +
                         "\" is not a directory of this user that only it "
                         "can write");
    return "";
  }
  return dir;
}

std::string IndexStore::file_for(const std::string& dir,
                                 const std::string& document) {
  uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : document) h = (h ^ c) * 1099511628211ull;
  char name[32];
  std::snprintf(name, sizeof name, "/%016llx.ncidx",
                static_cast<unsigned long long>(h));
  return dir + name;
}

bool IndexStore::read(const std::string& file, std::string& bytes) {
  FileDescriptor fd(open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  struct stat st {};
  if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
    return false;
  return read_whole(fd.get(), static_cast<size_t>(st.st_size), bytes);
}

void IndexStore::write(const std::string& file, const std::string& bytes) {
  static bool logged = false;
  std::string temp = file + ".XXXXXX";
  FileDescriptor fd(mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) {
    log_once(logged, "Cannot write the NcML index \"" + file +
                         "\": " + std::strerror(errno));
    return;
  }
  const bool ok = write_all_fd(fd.get(), bytes) && close(fd.release()) == 0 &&
                  rename(temp.c_str(), file.c_str()) == 0;
  if (!ok) {
    log_once(logged, "Cannot write the NcML index \"" + file +
                         "\": " + std::strerror(errno));
    unlink(temp.c_str());
  }
}

}  // namespace libqvp
