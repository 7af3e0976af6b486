// A response's stdout, counted: while a request runs with metrics on, stdout
// and std::cout write through one stream of this kind to fd 1 (the
// connection), which counts the bytes and keeps the first ones, where the
// HTTP status is. Counting stays out of the way otherwise: without metrics
// the worker never makes one.
#ifndef QVP_POOL_COUNTEDOUTPUT_H
#define QVP_POOL_COUNTEDOUTPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <streambuf>
#include <string>

namespace libqvp {

class CountedOutput {
 public:
  // Opens the stream, fully buffered with `buffer` bytes. Throws
  // std::runtime_error when it cannot be made.
  explicit CountedOutput(size_t buffer);
  // Closes the stream (after end(), it writes nothing).
  ~CountedOutput();
  CountedOutput(const CountedOutput&) = delete;
  CountedOutput& operator=(const CountedOutput&) = delete;

  // Makes stdout and std::cout this stream, with the counts at 0.
  void begin();
  // Writes what is buffered; drops it when it cannot be written, as
  // ProcessState::restore_output does.
  void flush();
  // Flushes, clears the stream's error state and gives stdout and std::cout
  // back. begin() must have been called.
  void end();

  // What went out since begin(), as far as it has been written.
  uint64_t bytes() const { return d_bytes; }
  // The HTTP status of what went out: from "HTTP/1.x NNN" or a CGI
  // "Status: NNN" header in the first line, 200 for another first line
  // (a CGI response without a status), -1 for nothing written.
  int status() const { return response_status(d_head); }

  // As status(), for `head`, the first bytes of a response.
  static int response_status(const std::string& head);

 private:
  static ssize_t write_out(void* self, const char* data, size_t size);

  FILE* d_stream = nullptr;
  std::unique_ptr<std::streambuf> d_cout_buffer;  // on d_stream
  FILE* d_saved_stdout = nullptr;
  std::streambuf* d_saved_cout = nullptr;
  uint64_t d_bytes = 0;
  std::string d_head;  // the first bytes written, up to a line's worth
};

}  // namespace libqvp

#endif  // QVP_POOL_COUNTEDOUTPUT_H
