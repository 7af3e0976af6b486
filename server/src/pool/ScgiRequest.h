// One SCGI request as a worker receives it: a netstring of NUL-separated
// header pairs ("CONTENT_LENGTH" first), then CONTENT_LENGTH bytes of body.
#ifndef QVP_POOL_SCGIREQUEST_H
#define QVP_POOL_SCGIREQUEST_H

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace libqvp {

// A request that cannot be served. `can_reply` is true when the framing was
// intact, so an HTTP error (`status`: 400, or 413 for a body over the limit)
// can still be written on the connection; otherwise the connection is only
// closed.
struct ScgiError : std::runtime_error {
  ScgiError(bool reply, const std::string& message, int http_status = 400)
      : std::runtime_error(message), can_reply(reply), status(http_status) {}
  bool can_reply;
  int status;
};

class ScgiRequest {
 public:
  static constexpr size_t kMaxHeaderBytes = 64 * 1024;
  static constexpr size_t kMaxContentBytes = 1024 * 1024;

  // Parses the netstring's payload (the header pairs, without "N:" and ",").
  // Throws ScgiError (can_reply true) unless it is pairs of NUL-terminated
  // names and values, the first being CONTENT_LENGTH with a decimal value,
  // given once, and SCGI is "1"; status 413 when that value exceeds
  // kMaxContentBytes, else 400. A repeated name keeps its last value, as a
  // web server's later parameter overrides an earlier one (nginx's
  // scgi_param after an included scgi_params).
  static ScgiRequest parse(std::string_view payload);

  // Reads one request from the connection `fd` (its body is read and
  // dropped), all of it within `timeout_ms`. Throws ScgiError for a length
  // that is no decimal number or exceeds kMaxHeaderBytes, a missing ',', a
  // peer that closes early or stalls past the time limit, and whatever
  // parse() throws.
  static ScgiRequest read(int fd, int timeout_ms);

  // The value of header `name`; null when absent. Valid while this lives.
  const char* get(const char* name) const;
  size_t content_length() const { return d_content_length; }

 private:
  // Sets header `name` to `value`, replacing an earlier value.
  void set(std::string name, std::string value);

  std::vector<std::pair<std::string, std::string>> d_headers;
  size_t d_content_length = 0;
};

}  // namespace libqvp

#endif  // QVP_POOL_SCGIREQUEST_H
