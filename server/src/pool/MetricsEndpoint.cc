#include "MetricsEndpoint.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace libqvp {
namespace {

std::string response(const char* status, const std::string& extra_headers,
                     const std::string& content_type, const std::string& body,
                     bool with_body) {
  return std::string("HTTP/1.0 ") + status +
         "\r\nContent-Type: " + content_type +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
         extra_headers + "Connection: close\r\n\r\n" +
         (with_body ? body : std::string());
}

std::string error(const char* status, const std::string& extra = "") {
  return response(status, extra, "text/plain; charset=utf-8",
                  std::string(status) + "\n", true);
}

// The end of a request head: after its blank line ("\r\n\r\n", or "\n\n"
// from a lax client); npos while it is not whole.
size_t head_end(const std::string& in) {
  const size_t crlf = in.find("\r\n\r\n");
  const size_t lf = in.find("\n\n");
  if (crlf != std::string::npos && (lf == std::string::npos || crlf < lf))
    return crlf + 4;
  return lf == std::string::npos ? lf : lf + 2;
}

}  // namespace

MetricsEndpoint::MetricsEndpoint(int listen_fd,
                                 std::function<std::string()> body)
    : d_listen_fd(listen_fd), d_body(std::move(body)) {}

std::string MetricsEndpoint::reply(std::string_view head,
                                   const std::function<std::string()>& body) {
  const size_t line_end = head.find_first_of("\r\n");
  const std::string_view line = head.substr(0, line_end);
  const size_t sp1 = line.find(' ');
  const size_t sp2 =
      sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
  if (sp1 == 0 || sp2 == std::string_view::npos ||
      line.find(' ', sp2 + 1) != std::string_view::npos ||
      line.substr(sp2 + 1).compare(0, 5, "HTTP/") != 0)
    return error("400 Bad Request");
  const std::string_view method = line.substr(0, sp1);
  std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  target = target.substr(0, target.find('?'));
  if (method != "GET" && method != "HEAD")
    return error("405 Method Not Allowed", "Allow: GET, HEAD\r\n");
  if (target != "/metrics") return error("404 Not Found");
  return response("200 OK", "", "text/plain; version=0.0.4; charset=utf-8",
                  body(), method == "GET");
}

void MetricsEndpoint::add_poll_fds(std::vector<struct pollfd>& fds) const {
  if (d_listen_fd < 0) return;
  if (d_clients.size() < kMaxClients) fds.push_back({d_listen_fd, POLLIN, 0});
  for (const Client& c : d_clients) {
    const bool reading = c.out.empty() || c.sent == c.out.size();
    fds.push_back({c.fd, static_cast<short>(reading ? POLLIN : POLLOUT), 0});
  }
}

MetricsEndpoint::Clock::time_point MetricsEndpoint::next_deadline() const {
  auto t = Clock::time_point::max();
  for (const Client& c : d_clients)
    if (c.deadline < t) t = c.deadline;
  return t;
}

void MetricsEndpoint::step() {
  if (d_listen_fd < 0) return;
  accept_clients();
  const auto now = Clock::now();
  for (size_t i = 0; i < d_clients.size();) {
    if (now < d_clients[i].deadline && serve(d_clients[i])) {
      ++i;
      continue;
    }
    close(d_clients[i].fd);
    d_clients.erase(d_clients.begin() + static_cast<long>(i));
  }
}

void MetricsEndpoint::accept_clients() {
  while (d_clients.size() < kMaxClients) {
    const int fd =
        accept4(d_listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // none waiting (EAGAIN), or one that went away
    d_clients.push_back({fd, Clock::now() + kClientTime, {}, {}, 0});
  }
}

bool MetricsEndpoint::serve(Client& c) {
  while (c.out.empty()) {
    char buf[2048];
    const ssize_t n = recv(c.fd, buf, sizeof buf, 0);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    if (n == 0) return false;  // closed before its request was whole
    c.in.append(buf, static_cast<size_t>(n));
    const size_t end = head_end(c.in);
    if (end != std::string::npos)
      c.out = reply(std::string_view(c.in).substr(0, end), d_body);
    else if (c.in.size() > kMaxHead)
      c.out = error("431 Request Header Fields Too Large");
  }
  while (c.sent < c.out.size()) {
    const ssize_t n =
        send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    c.sent += static_cast<size_t>(n);
    if (c.sent == c.out.size()) shutdown(c.fd, SHUT_WR);
  }
  // Answered: what the client still sends is read and dropped until it
  // closes (or its deadline), since closing with bytes unread would reset
  // the connection, and the reply could be lost before it is read.
  char sink[2048];
  ssize_t n;
  while ((n = recv(c.fd, sink, sizeof sink, 0)) > 0) {
  }
  return n < 0 && (errno == EAGAIN || errno == EINTR);
}

void MetricsEndpoint::close_all() {
  for (const Client& c : d_clients) close(c.fd);
  d_clients.clear();
  if (d_listen_fd >= 0) close(d_listen_fd);
  d_listen_fd = -1;
}

}  // namespace libqvp
