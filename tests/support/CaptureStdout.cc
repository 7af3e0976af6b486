#include "CaptureStdout.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace libqvp {
namespace test {

CaptureStdout::CaptureStdout() {
  fflush(stdout);
  char name[] = "/tmp/qvp_stdout_XXXXXX";
  d_capture_fd = mkstemp(name);
  if (d_capture_fd < 0) std::abort();
  unlink(name);
  d_saved_fd = dup(1);
  if (d_saved_fd < 0 || dup2(d_capture_fd, 1) < 0) std::abort();
}

CaptureStdout::~CaptureStdout() {
  restore();
  if (d_capture_fd >= 0) close(d_capture_fd);
}

void CaptureStdout::restore() {
  if (d_saved_fd < 0) return;
  fflush(stdout);
  dup2(d_saved_fd, 1);
  close(d_saved_fd);
  d_saved_fd = -1;
}

std::string CaptureStdout::finish() {
  restore();
  std::string bytes;
  char buf[4096];
  lseek(d_capture_fd, 0, SEEK_SET);
  for (ssize_t n; (n = read(d_capture_fd, buf, sizeof buf)) > 0;)
    bytes.append(buf, static_cast<size_t>(n));
  return bytes;
}

}  // namespace test
}  // namespace libqvp
