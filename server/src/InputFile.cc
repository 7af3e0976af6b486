// Opening input files so that neither their type nor a link can surprise the
// reader: non-blocking open, type taken from the open descriptor, and for
// contained files the descriptor compared with the file the real path names.
#include "InputFile.h"

#include <fcntl.h>
#include <libqvp/DataRoot.h>
#include <libqvp/FileDescriptor.h>
#include <sys/stat.h>

#include <utility>

namespace libqvp {
namespace {

// A regular file opened for reading, with its identity in `st`; none held
// when the name cannot be opened or is anything else.
FileDescriptor open_regular(const std::string& name, struct stat& st) {
  if (name.empty()) return FileDescriptor();
  FileDescriptor fd(
      open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return FileDescriptor();
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
    return FileDescriptor();
  const int flags = fcntl(fd.get(), F_GETFL);
  if (flags < 0 || fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
    return FileDescriptor();
  return fd;
}

InputFile adopt(FileDescriptor fd) {
  if (fd.get() < 0) return nullptr;
  FILE* f = fdopen(fd.get(), "r");
  if (f != nullptr) fd.release();  // the FILE* closes it now
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
  FileDescriptor fd = open_regular(name, opened);
  if (fd.get() < 0) return nullptr;
  struct stat named {};
  const std::string real = DataRoot::real_path(name);
  if (!DataRoot::holds(root, real) || stat(real.c_str(), &named) != 0 ||
      named.st_dev != opened.st_dev || named.st_ino != opened.st_ino)
    return nullptr;
  return adopt(std::move(fd));
}

}  // namespace libqvp
