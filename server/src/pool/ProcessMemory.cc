#include "ProcessMemory.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace libqvp {

ProcessMemory process_memory(pid_t pid) {
  const std::string path =
      pid == 0 ? "/proc/self/statm" : "/proc/" + std::to_string(pid) + "/statm";
  ProcessMemory m;
  FILE* f = fopen(path.c_str(), "re");
  if (f == nullptr) return m;
  long size = 0;
  long resident = 0;
  if (fscanf(f, "%ld %ld", &size, &resident) == 2) {
    const long page = sysconf(_SC_PAGESIZE);
    m.address_space = size * page / (1024 * 1024);
    m.resident = resident * page / (1024 * 1024);
  }
  fclose(f);
  return m;
}

}  // namespace libqvp
