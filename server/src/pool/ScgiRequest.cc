// Reading is bounded in size and time: the netstring's length is parsed
// digit by digit (at most enough digits for kMaxHeaderBytes), and a read
// that finds nothing waits with poll() for what is left of one deadline, so
// a peer that stalls or trickles bytes is dropped after timeout_ms in all.
#include "ScgiRequest.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "RequestText.h"

namespace libqvp {
namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kMaxLengthDigits = 6;
// Room for the headers a web server sends with a request, made at once.
constexpr size_t kUsualHeaders = 32;

// Reads through a small buffer: a request of a few hundred bytes takes one
// or two system calls, not one per byte of the netstring's length. Bytes
// past the request are read and dropped with it (nothing follows a request
// on its connection).
class DeadlineReader {
 public:
  DeadlineReader(int fd, int timeout_ms)
      : d_fd(fd),
        d_deadline(Clock::now() + std::chrono::milliseconds(timeout_ms)) {}

  // Fills `buf` with exactly `n` bytes; throws ScgiError on end of input,
  // an error or the deadline.
  void read_exact(char* buf, size_t n) {
    while (n > 0) {
      if (d_begin == d_end) {
        if (n >= sizeof d_buf) {  // large: straight into `buf`
          const size_t got = read_some(buf, n);
          buf += got;
          n -= got;
          continue;
        }
        d_begin = 0;
        d_end = read_some(d_buf, sizeof d_buf);
      }
      const size_t take = std::min(n, d_end - d_begin);
      memcpy(buf, d_buf + d_begin, take);
      d_begin += take;
      buf += take;
      n -= take;
    }
  }

  char read_byte() {
    char c;
    read_exact(&c, 1);
    return c;
  }

 private:
  // Reads at least one byte and at most `n`: what has arrived, else waits
  // for it with poll(). The deadline is checked at every call, so a peer
  // that sends a byte at a time cannot hold the worker past it.
  size_t read_some(char* buf, size_t n) {
    for (;;) {
      if (Clock::now() >= d_deadline)
        throw ScgiError(false, "the request stalled");
      ssize_t got = recv(d_fd, buf, n, MSG_DONTWAIT);
      if (got < 0 && errno == ENOTSOCK) {  // a pipe, in tests
        wait_readable();
        got = ::read(d_fd, buf, n);
      }
      if (got == 0) throw ScgiError(false, "the request is truncated");
      if (got > 0) return static_cast<size_t>(got);
      if (errno == EAGAIN || errno == EWOULDBLOCK)
        wait_readable();
      else if (errno != EINTR)
        throw ScgiError(false,
                        std::string("reading the request: ") + strerror(errno));
    }
  }

  void wait_readable() {
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            d_deadline - Clock::now())
                            .count();
      if (left <= 0) throw ScgiError(false, "the request stalled");
      struct pollfd p = {d_fd, POLLIN, 0};
      const int r = poll(&p, 1, static_cast<int>(left));
      if (r > 0) return;
      if (r < 0 && errno != EINTR)
        throw ScgiError(false, std::string("poll: ") + strerror(errno));
    }
  }

  int d_fd;
  Clock::time_point d_deadline;
  char d_buf[2048];
  size_t d_begin = 0, d_end = 0;  // the unread bytes of d_buf
};

}  // namespace

ScgiRequest ScgiRequest::parse(std::string_view payload) {
  ScgiRequest r;
  r.d_headers.reserve(kUsualHeaders);
  size_t pos = 0;
  while (pos < payload.size()) {
    const size_t name_end = payload.find('\0', pos);
    if (name_end == std::string_view::npos)
      throw ScgiError(true, "a header name is not terminated");
    const size_t value_end = payload.find('\0', name_end + 1);
    if (value_end == std::string_view::npos)
      throw ScgiError(true, "a header value is not terminated");
    std::string name(payload.substr(pos, name_end - pos));
    std::string value(payload.substr(name_end + 1, value_end - name_end - 1));
    if (name.empty()) throw ScgiError(true, "a header name is empty");
    if (r.d_headers.empty() && name != "CONTENT_LENGTH")
      throw ScgiError(true, "CONTENT_LENGTH is not the first header");
    if (name == "CONTENT_LENGTH" && !r.d_headers.empty())
      throw ScgiError(true, "CONTENT_LENGTH is given twice");
    r.set(std::move(name), std::move(value));
    pos = value_end + 1;
  }
  if (r.d_headers.empty())
    throw ScgiError(true, "CONTENT_LENGTH is not the first header");
  unsigned long length = 0;
  switch (read_number(r.d_headers[0].second, 0, kMaxContentBytes, length)) {
    case NumberText::malformed:
      throw ScgiError(true, "CONTENT_LENGTH is not a decimal number");
    case NumberText::out_of_range:
      throw ScgiError(true,
                      "the request body is over " +
                          std::to_string(kMaxContentBytes) + " bytes",
                      413);
    case NumberText::ok:
      r.d_content_length = length;
      break;
  }
  const char* scgi = r.get("SCGI");
  if (scgi == nullptr || std::string(scgi) != "1")
    throw ScgiError(true, "SCGI is not 1");
  return r;
}

ScgiRequest ScgiRequest::read(int fd, int timeout_ms) {
  DeadlineReader in(fd, timeout_ms);
  std::string digits;
  for (char c = in.read_byte(); c != ':'; c = in.read_byte()) {
    if (c < '0' || c > '9' || digits.size() == kMaxLengthDigits)
      throw ScgiError(false, "the netstring length is malformed");
    digits += c;
  }
  unsigned long length = 0;
  if (read_number(digits, 0, kMaxHeaderBytes, length) != NumberText::ok)
    throw ScgiError(false, "the netstring length is malformed or too large");
  std::string payload(length, '\0');
  in.read_exact(payload.data(), length);
  if (in.read_byte() != ',')
    throw ScgiError(false, "the netstring does not end with ','");
  ScgiRequest r = parse(payload);
  char sink[4096];
  for (size_t left = r.d_content_length; left > 0;) {
    const size_t n = left < sizeof sink ? left : sizeof sink;
    in.read_exact(sink, n);
    left -= n;
  }
  return r;
}

void ScgiRequest::set(std::string name, std::string value) {
  for (auto& h : d_headers)
    if (h.first == name) {
      h.second = std::move(value);
      return;
    }
  d_headers.emplace_back(std::move(name), std::move(value));
}

const char* ScgiRequest::get(const char* name) const {
  for (const auto& h : d_headers)
    if (h.first == name) return h.second.c_str();
  return nullptr;
}

}  // namespace libqvp
