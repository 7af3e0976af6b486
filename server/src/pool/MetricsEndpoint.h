// The master's /metrics endpoint: a small HTTP/1.0 server on the master's
// own event loop. Every socket is non-blocking and every client has a
// deadline and bounded buffers, so a slow or hostile scraper costs the
// master a descriptor for a few seconds and never stalls its supervision.
#ifndef QVP_POOL_METRICSENDPOINT_H
#define QVP_POOL_METRICSENDPOINT_H

#include <poll.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace libqvp {

class MetricsEndpoint {
 public:
  using Clock = std::chrono::steady_clock;

  // Clients served at once; more wait in the listening socket's backlog.
  static constexpr size_t kMaxClients = 16;
  // The bytes of a request's head (request line and headers).
  static constexpr size_t kMaxHead = 8192;
  // How long a client has to send its request and read the reply.
  static constexpr std::chrono::seconds kClientTime{10};

  // Answers on `listen_fd` (non-blocking, owned: closed by close_all()) with
  // the text that `body` makes at each scrape.
  MetricsEndpoint(int listen_fd, std::function<std::string()> body);
  ~MetricsEndpoint() { close_all(); }
  MetricsEndpoint(const MetricsEndpoint&) = delete;
  MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

  // Appends the descriptors to poll, with the events awaited.
  void add_poll_fds(std::vector<struct pollfd>& fds) const;
  // The earliest client deadline; Clock::time_point::max() for none.
  Clock::time_point next_deadline() const;
  // Accepts, reads, answers and closes as far as it can without blocking,
  // and drops clients past their deadline. Throws nothing.
  void step();
  // Closes every descriptor: in a worker, right after the fork, so that
  // only the master holds the port.
  void close_all();

  // The reply to the request head `head` (up to and including its blank
  // line): 200 with `body` (its text made only then) for GET (or HEAD,
  // without the body) of /metrics, 404 for another path, 405 for another
  // method, 400 for a malformed request line.
  static std::string reply(std::string_view head,
                           const std::function<std::string()>& body);

 private:
  struct Client {
    int fd;
    Clock::time_point deadline;
    std::string in;   // the head, until it is whole
    std::string out;  // the reply, from `sent` on unsent
    size_t sent = 0;
  };

  void accept_clients();
  // False when the client is done with (answered, gone or misbehaving).
  bool serve(Client& c);

  int d_listen_fd;
  std::function<std::string()> d_body;
  std::vector<Client> d_clients;
};

}  // namespace libqvp

#endif  // QVP_POOL_METRICSENDPOINT_H
