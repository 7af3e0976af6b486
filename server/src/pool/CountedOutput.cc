#include "CountedOutput.h"

#include <stdio_ext.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ext/stdio_sync_filebuf.h>
#include <iostream>
#include <stdexcept>

namespace libqvp {
namespace {

// Enough of a response's first bytes for its status line.
constexpr size_t kHeadBytes = 64;

// The number at `text`'s start when it is three digits followed by a blank
// or the line's end; -1 otherwise.
int three_digits(const std::string& text, size_t at) {
  if (text.size() < at + 3) return -1;
  int code = 0;
  for (size_t i = at; i < at + 3; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    code = code * 10 + (text[i] - '0');
  }
  if (text.size() > at + 3 && !strchr(" \r\n", text[at + 3])) return -1;
  return code;
}

}  // namespace

CountedOutput::CountedOutput(size_t buffer) {
  const cookie_io_functions_t io = {nullptr, &CountedOutput::write_out, nullptr,
                                    nullptr};
  d_stream = fopencookie(this, "w", io);
  if (d_stream == nullptr || setvbuf(d_stream, nullptr, _IOFBF, buffer) != 0)
    throw std::runtime_error(std::string("cannot make the counted output: ") +
                             strerror(errno));
  d_cout_buffer =
      std::make_unique<__gnu_cxx::stdio_sync_filebuf<char>>(d_stream);
}

CountedOutput::~CountedOutput() {
  if (d_stream == nullptr) return;
  __fpurge(d_stream);
  fclose(d_stream);
}

void CountedOutput::begin() {
  d_bytes = 0;
  d_head.clear();
  d_saved_stdout = stdout;
  d_saved_cout = std::cout.rdbuf(d_cout_buffer.get());
  stdout = d_stream;
}

void CountedOutput::flush() {
  if (fflush(d_stream) != 0) __fpurge(d_stream);
}

void CountedOutput::end() {
  flush();
  clearerr(d_stream);
  stdout = d_saved_stdout;
  std::cout.rdbuf(d_saved_cout);
}

ssize_t CountedOutput::write_out(void* cookie, const char* data, size_t size) {
  auto* self = static_cast<CountedOutput*>(cookie);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(STDOUT_FILENO, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (self->d_head.size() < kHeadBytes)
      self->d_head.append(
          data + done,
          std::min(static_cast<size_t>(n), kHeadBytes - self->d_head.size()));
    done += static_cast<size_t>(n);
    self->d_bytes += static_cast<uint64_t>(n);
  }
  return done > 0 ? static_cast<ssize_t>(done) : -1;
}

int CountedOutput::response_status(const std::string& head) {
  if (head.empty()) return -1;
  if (head.compare(0, 7, "HTTP/1.") == 0 && head.size() > 9 && head[8] == ' ')
    return three_digits(head, 9) < 0 ? 200 : three_digits(head, 9);
  if (head.compare(0, 8, "Status: ") == 0)
    return three_digits(head, 8) < 0 ? 200 : three_digits(head, 8);
  return 200;
}

}  // namespace libqvp
