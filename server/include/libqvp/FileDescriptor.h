// The owner of a raw file descriptor: closed when the owner goes, unless
// released first. For descriptors that no FILE* or stream owns (pread-only
// readers, directory descriptors for fstatat, descriptors on their way to
// fdopen).
#ifndef LIBQVP_FILEDESCRIPTOR_H
#define LIBQVP_FILEDESCRIPTOR_H

#include <unistd.h>

#include <utility>

namespace libqvp {

class FileDescriptor {
 public:
  FileDescriptor() = default;
  // Adopts `fd`; a negative one (a failed open) is held and never closed.
  explicit FileDescriptor(int fd) noexcept : d_fd(fd) {}
  ~FileDescriptor() { reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept : d_fd(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    reset(other.release());
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  // The descriptor, still owned; negative when none is held.
  int get() const noexcept { return d_fd; }
  // The descriptor, no longer owned (the caller closes it); -1 is held.
  int release() noexcept { return std::exchange(d_fd, -1); }
  // Closes the descriptor held (errors are ignored) and adopts `fd`.
  void reset(int fd = -1) noexcept {
    if (d_fd >= 0 && d_fd != fd) close(d_fd);
    d_fd = fd;
  }

 private:
  int d_fd = -1;
};

}  // namespace libqvp

#endif  // LIBQVP_FILEDESCRIPTOR_H
