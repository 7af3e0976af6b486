// A worker of the pool: accepts connections on the shared listening socket
// and serves one request at a time by calling the handler's entry function
// in-process, with stdout pointed at the connection.
#ifndef QVP_POOL_WORKER_H
#define QVP_POOL_WORKER_H

#include <libqvp/Pool.h>

#include <cstddef>

namespace libqvp {

class SharedCounters;

// A worker's exit status when it retired on its own (Pool::
// retire_after_request, or its address space near RLIMIT_AS); 0 when it
// stopped at a signal or after --max-requests, 1 for a time limit.
constexpr int kWorkerRetired = 3;

// Serves requests until options.max_requests are done, SIGTERM, SIGINT or
// SIGHUP arrives (a request in progress is finished first), or a request
// asked it to retire (Pool::retire_after_request) or left its address space
// near RLIMIT_AS; then returns the worker's exit status (0, or
// kWorkerRetired). With `counters`, each request is counted in its slot
// `slot`, and so are Pool::count_cache()'s lookups. Its log lines,
// and the library's error log (ErrMsgT), take the pool's form (PoolLog.h).
// Runs in a freshly forked child of the master; `listen_fd` is non-blocking
// and shared with the other workers.
int run_worker(const Pool::Options& options, EntryFunction entry, int listen_fd,
               SharedCounters* counters, size_t slot);

}  // namespace libqvp

#endif  // QVP_POOL_WORKER_H
