// The pool's log: one line per event on stderr, written with one write() so
// that lines of the master and of its workers never interleave.
#ifndef QVP_POOL_POOLLOG_H
#define QVP_POOL_POOLLOG_H

#include <string>

namespace libqvp {

// Writes "[<UTC time>] qvp pool[<pid>]: <message>\n" to fd 2.
void pool_log(const std::string& message);

}  // namespace libqvp

#endif  // QVP_POOL_POOLLOG_H
