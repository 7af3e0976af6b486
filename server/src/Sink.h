// The private output sink under the FILE* and std::ostream twins: a body is
// written once against a Sink, and each public form only picks the adapter.
// A sink also knows whether what it writes is the response going out or
// text being made in memory, and notes the response's start for the
// request guard (RequestGuard::output_started()) on its first write, or when
// a writer is about to hand the stream to one of the core's printers.
#ifndef LIBQVP_SINK_H
#define LIBQVP_SINK_H

#include <libqvp/RequestGuard.h>

#include <cstdio>
#include <ostream>
#include <sstream>
#include <string_view>

namespace libqvp {

// Where output bytes go. Implementations report no failure: a failed write is
// lost (the header writers are silent by contract). Nothing is flushed except
// by flush().
class Sink {
 public:
  virtual ~Sink() = default;
  // Writes `bytes` unchanged (NUL bytes included).
  virtual void write(std::string_view bytes) = 0;
  // Writes `value` as an integer: always decimal for a FILE*, in the stream's
  // own base and format for a std::ostream.
  virtual void write_int(int value) = 0;
  virtual void flush() = 0;
  // Notes that the response has begun, unless this sink writes to memory.
  virtual void begin() = 0;
};

// Writes to a FILE* that the caller keeps open.
class FileSink final : public Sink {
 public:
  explicit FileSink(FILE* out) : d_out(out) {}
  void write(std::string_view bytes) override {
    begin();
    if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), d_out);
  }
  void write_int(int value) override {
    begin();
    fprintf(d_out, "%d", value);
  }
  void flush() override { fflush(d_out); }
  void begin() override { RequestGuard::note_output_started(); }

 private:
  FILE* d_out;
};

// Writes to a std::ostream with operator<<, so the stream's formatting state
// (width, fill, integer base) applies as it does to any insertion. A string
// stream is text in memory, not the response going out.
class StreamSink final : public Sink {
 public:
  explicit StreamSink(std::ostream& out)
      : d_out(out),
        d_in_memory(dynamic_cast<std::stringbuf*>(out.rdbuf()) != nullptr) {}
  void write(std::string_view bytes) override {
    begin();
    d_out << bytes;
  }
  void write_int(int value) override {
    begin();
    d_out << value;
  }
  void flush() override { d_out.flush(); }
  void begin() override {
    if (!d_in_memory) RequestGuard::note_output_started();
  }

 private:
  std::ostream& d_out;
  bool d_in_memory;
};

}  // namespace libqvp

#endif  // LIBQVP_SINK_H
