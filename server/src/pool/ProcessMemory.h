// A process's memory as Linux reports it in /proc/<pid>/statm.
#ifndef QVP_POOL_PROCESSMEMORY_H
#define QVP_POOL_PROCESSMEMORY_H

#include <sys/types.h>

namespace libqvp {

// Sizes in MiB, each -1 when it cannot be read (the process is gone).
struct ProcessMemory {
  long address_space = -1;  // all mapped memory, what RLIMIT_AS bounds
  long resident = -1;       // in RAM, shared library pages included
};

// The memory of process `pid`; 0 for the calling process.
ProcessMemory process_memory(pid_t pid);

// As process_memory(), from a descriptor of a statm file kept open (one
// system call, for a check after every request).
ProcessMemory read_process_memory(int statm_fd);

}  // namespace libqvp

#endif  // QVP_POOL_PROCESSMEMORY_H
