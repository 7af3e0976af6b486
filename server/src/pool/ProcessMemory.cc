#include "ProcessMemory.h"

#include <fcntl.h>
#include <libqvp/FileDescriptor.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace libqvp {

ProcessMemory process_memory(pid_t pid) {
  const std::string path =
      pid == 0 ? "/proc/self/statm" : "/proc/" + std::to_string(pid) + "/statm";
  const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return {};
  return read_process_memory(fd.get());
}

ProcessMemory read_process_memory(int statm_fd) {
  char text[128];
  const ssize_t n = pread(statm_fd, text, sizeof text - 1, 0);
  ProcessMemory m;
  if (n <= 0) return m;
  text[n] = '\0';
  long size = 0;
  long resident = 0;
  if (sscanf(text, "%ld %ld", &size, &resident) == 2) {
    const long page = sysconf(_SC_PAGESIZE);
    m.address_space = size * page / (1024 * 1024);
    m.resident = resident * page / (1024 * 1024);
  }
  return m;
}

}  // namespace libqvp
