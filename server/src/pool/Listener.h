// The pool's listening socket: a Unix socket, a TCP address, or the socket
// that systemd passed by socket activation.
#ifndef QVP_POOL_LISTENER_H
#define QVP_POOL_LISTENER_H

#include <string>

namespace libqvp {

// Opens a listening socket for `address`, non-blocking and close-on-exec:
//   "unix:PATH"  a Unix socket at PATH; a stale socket there is replaced,
//                one that a server still accepts on or any other file is
//                not. With `mode` >= 0 its permissions
//                become `mode`.
//   "HOST:PORT"  TCP; HOST may be a name, an IPv4 address or "[IPv6]".
//   "systemd"    fd 3, when LISTEN_PID is this process and LISTEN_FDS >= 1;
//                both variables are then removed from the environment.
// Returns the descriptor; throws std::runtime_error with the reason.
int open_listener(const std::string& address, int mode);

// Removes the Unix socket that open_listener made for `address`, if any.
void remove_listener(const std::string& address);

}  // namespace libqvp

#endif  // QVP_POOL_LISTENER_H
