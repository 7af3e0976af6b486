#include "Listener.h"

#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "RequestText.h"

namespace libqvp {
namespace {

constexpr int kBacklog = 1024;
constexpr int kSystemdFirstFd = 3;
constexpr const char kUnixPrefix[] = "unix:";

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + strerror(errno));
}

void make_nonblocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0 ||
      fcntl(fd, F_SETFD, FD_CLOEXEC) < 0)
    fail("fcntl");
}

// True when a server accepts connections on the Unix socket `sa`.
bool is_live(const sockaddr_un& sa) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool live =
      connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
  close(fd);
  return live;
}

int listen_unix(const std::string& path, int mode) {
  struct sockaddr_un sa {};
  sa.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof sa.sun_path)
    throw std::runtime_error("the socket path is empty or too long");
  memcpy(sa.sun_path, path.c_str(), path.size() + 1);
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode))
      throw std::runtime_error(path + " exists and is not a socket");
    if (is_live(sa))
      throw std::runtime_error(path + " is in use by a running server");
    unlink(path.c_str());
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) fail("socket");
  if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      (mode >= 0 && chmod(path.c_str(), static_cast<mode_t>(mode)) != 0) ||
      listen(fd, kBacklog) != 0) {
    const int e = errno;
    close(fd);
    errno = e;
    fail(path);
  }
  return fd;
}

int listen_tcp(const std::string& address) {
  const size_t colon = address.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == address.size())
    throw std::runtime_error(
        "expected unix:PATH, HOST:PORT or systemd, got \"" + address + "\"");
  std::string host = address.substr(0, colon);
  const std::string port = address.substr(colon + 1);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  struct addrinfo hints {};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  struct addrinfo* res = nullptr;
  const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &res);
  if (rc != 0) throw std::runtime_error(address + ": " + gai_strerror(rc));
  int fd = -1;
  int saved = 0;
  for (struct addrinfo* a = res; a != nullptr && fd < 0; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, a->ai_addr, a->ai_addrlen) != 0 || listen(fd, kBacklog) != 0) {
      saved = errno;
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(res);
  if (fd < 0) {
    errno = saved;
    fail(address);
  }
  return fd;
}

// True when systemd's LISTEN_PID names this process and LISTEN_FDS passes
// at least one descriptor.
bool sockets_passed() {
  const char* pid = getenv("LISTEN_PID");
  const char* fds = getenv("LISTEN_FDS");
  unsigned long p = 0, n = 0;
  return pid != nullptr && fds != nullptr &&
         read_number(pid, 1, LONG_MAX, p) == NumberText::ok &&
         p == static_cast<unsigned long>(getpid()) &&
         read_number(fds, 1, INT_MAX, n) == NumberText::ok;
}

int inherited_socket() {
  if (!sockets_passed())
    throw std::runtime_error(
        "no socket was passed by systemd (LISTEN_PID, LISTEN_FDS)");
  unsetenv("LISTEN_PID");
  unsetenv("LISTEN_FDS");
  unsetenv("LISTEN_FDNAMES");
  int type = 0;
  socklen_t len = sizeof type;
  if (getsockopt(kSystemdFirstFd, SOL_SOCKET, SO_TYPE, &type, &len) != 0 ||
      type != SOCK_STREAM)
    throw std::runtime_error(
        "the socket passed by systemd is no stream socket");
  return kSystemdFirstFd;
}

}  // namespace

int open_listener(const std::string& address, int mode) {
  int fd;
  if (address == "systemd")
    fd = inherited_socket();
  else if (address.compare(0, sizeof kUnixPrefix - 1, kUnixPrefix) == 0)
    fd = listen_unix(address.substr(sizeof kUnixPrefix - 1), mode);
  else
    fd = listen_tcp(address);
  make_nonblocking(fd);
  return fd;
}

void remove_listener(const std::string& address) {
  if (address.compare(0, sizeof kUnixPrefix - 1, kUnixPrefix) == 0)
    unlink(address.c_str() + sizeof kUnixPrefix - 1);
}

}  // namespace libqvp
