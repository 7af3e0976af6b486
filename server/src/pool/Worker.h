// A worker of the pool: accepts connections on the shared listening socket
// and serves one request at a time by calling the handler's entry function
// in-process, with stdout pointed at the connection.
#ifndef QVP_POOL_WORKER_H
#define QVP_POOL_WORKER_H

#include <libqvp/Pool.h>

namespace libqvp {

// Serves requests until options.max_requests are done, SIGTERM, SIGINT or
// SIGHUP arrives (a request in progress is finished first), or a request
// asked it to retire (Pool::retire_after_request) or left its address space
// near RLIMIT_AS; then returns the worker's exit status, 0. Its log lines,
// and the library's error log (ErrMsgT), take the pool's form (PoolLog.h).
// Runs in a freshly forked child of the master; `listen_fd` is non-blocking
// and shared with the other workers.
int run_worker(const Pool::Options& options, EntryFunction entry,
               int listen_fd);

}  // namespace libqvp

#endif  // QVP_POOL_WORKER_H
