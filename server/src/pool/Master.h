// The pool's master: preforks the workers and supervises them.
#ifndef QVP_POOL_MASTER_H
#define QVP_POOL_MASTER_H

#include <libqvp/Pool.h>

namespace libqvp {

// Forks options.workers workers on `listen_fd` and keeps that many running:
// a worker that dies is logged with its cause and replaced (one that dies
// right after it started is replaced after a pause, so a worker that cannot
// start does not spin). A worker whose resident size passes options.max_rss
// MiB (read every second) is replaced gracefully, and so is every worker at
// SIGHUP: the old one finishes its request and exits, a new one takes its
// slot at once. SIGTERM or
// SIGINT drains: the workers finish their request and exit; those still
// running after options.drain_timeout seconds are killed. Returns 0 then,
// 2 when it cannot start. With `metrics_fd` >= 0 (a listening socket, which
// it closes), the workers count their requests in shared memory and the
// master serves the counts, its workers and its restarts by cause at
// /metrics there (MetricsEndpoint.h).
int run_master(const Pool::Options& options, EntryFunction entry, int listen_fd,
               int metrics_fd);

}  // namespace libqvp

#endif  // QVP_POOL_MASTER_H
