// Opening input files so that neither their type nor a link can surprise the
// reader: non-blocking open, type taken from the open descriptor, and for
// contained files the descriptor compared with the file the real path names.
#include "InputFile.h"

#include <fcntl.h>
#include <libqvp/DataRoot.h>
#include <sys/stat.h>
#include <unistd.h>

namespace libqvp {
namespace {

// A regular file opened for reading, with its identity in `st`; -1 when the
// name cannot be opened or is anything else.
int open_regular(const std::string& name, struct stat& st) {
  if (name.empty()) return -1;
  const int fd =
      open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

InputFile adopt(int fd) {
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "r");
  if (f == nullptr) close(fd);
  return InputFile(f);
}

}  // namespace

InputFile open_input_file(const std::string& name) {
  struct stat st {};
  return adopt(open_regular(name, st));
}

// The real path is checked after the open and must name the very file that
// was opened, so a link switched between the two steps is refused too.
InputFile open_contained_file(const std::string& name,
                              const std::string& root) {
  struct stat opened {};
  const int fd = open_regular(name, opened);
  if (fd < 0) return nullptr;
  struct stat named {};
  const std::string real = DataRoot::real_path(name);
  if (!DataRoot::holds(root, real) || stat(real.c_str(), &named) != 0 ||
      named.st_dev != opened.st_dev || named.st_ino != opened.st_ino) {
    close(fd);
    return nullptr;
  }
  return adopt(fd);
}

}  // namespace libqvp
