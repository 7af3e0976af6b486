// The pool's log: one line per event on stderr, written with one write() so
// that lines of the master and of its workers never interleave. Every line,
// the handler's error-log entries in a worker too, has the form
//   "[2026-01-01 12:00:00] qvp pool[<master pid>]: <message>"   (the master)
//   "[2026-01-01 12:00:00] qvp pool[<master pid>] worker <pid>: <message>"
// with the time in UTC.
#ifndef QVP_POOL_POOLLOG_H
#define QVP_POOL_POOLLOG_H

#include <sys/types.h>

#include <ctime>
#include <string>

namespace libqvp {

// Writes one line of `message` to fd 2 in the form above.
void pool_log(const std::string& message);

// Makes this process's lines those of a worker of the master `master`, and
// sends the library's error log (ErrMsgT) through pool_log. Called once in a
// worker, right after the fork.
void become_worker_log(pid_t master);

// The line for `message` at `now` (seconds since the epoch) from the master
// `master`, or from its worker `worker` when it is not 0. A newline in the
// message continues on an indented line, and other control bytes are written
// as "\xHH", so that no message can forge a line of its own.
std::string pool_log_line(time_t now, pid_t master, pid_t worker,
                          const std::string& message);

}  // namespace libqvp

#endif  // QVP_POOL_POOLLOG_H
