// A worker of the pool: accepts connections on the shared listening socket
// and serves one request at a time by calling the handler's entry function
// in-process, with stdout pointed at the connection.
#ifndef QVP_POOL_WORKER_H
#define QVP_POOL_WORKER_H

#include <libqvp/Pool.h>

namespace libqvp {

// Serves requests until options.max_requests are done or SIGTERM, SIGINT or
// SIGHUP arrives (a request in progress is finished first); then returns the
// worker's exit status, 0. Runs in a freshly forked child of the master;
// `listen_fd` is non-blocking and shared with the other workers.
int run_worker(const Pool::Options& options, EntryFunction entry,
               int listen_fd);

}  // namespace libqvp

#endif  // QVP_POOL_WORKER_H
