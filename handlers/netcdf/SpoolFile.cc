#include "SpoolFile.h"

#include <fcntl.h>
#include <libqvp/Error.h>
#include <libqvp/write_all.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "ncml/IndexStore.h"

namespace libqvp {
namespace {

std::string spool_directory() {
  std::string dir = IndexStore::directory();
  if (!dir.empty()) return dir;
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && *tmp == '/' ? tmp : "/tmp";
}

}  // namespace

SpoolFile::SpoolFile() {
  std::string name = spool_directory() + "/qvp-download-XXXXXX";
  d_fd = mkostemp(name.data(), O_CLOEXEC);
  if (d_fd < 0)
    throw Error(internal_error, std::string("Cannot make a temporary file: ") +
                                    std::strerror(errno));
  d_path = name;
}

SpoolFile::~SpoolFile() {
  release_name();
  if (d_fd >= 0) close(d_fd);
}

void SpoolFile::release_name() {
  if (!d_path.empty()) unlink(d_path.c_str());
  d_path.clear();
}

uint64_t SpoolFile::size() const {
  struct stat st {};
  if (fstat(d_fd, &st) != 0)
    throw Error(internal_error, "Cannot read the temporary file");
  return static_cast<uint64_t>(st.st_size);
}

void SpoolFile::send(FILE* out) const {
  std::vector<char> buffer(size_t{1} << 20);
  for (off_t at = 0;;) {
    const ssize_t n = pread(d_fd, buffer.data(), buffer.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw Error(internal_error, "Cannot read the temporary file");
    if (n == 0) return;
    write_all(out, std::string_view(buffer.data(), static_cast<size_t>(n)));
    at += n;
  }
}

}  // namespace libqvp
