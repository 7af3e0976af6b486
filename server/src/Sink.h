// The private output sink under the FILE* and std::ostream twins: a body is
// written once against a Sink, and each public form only picks the adapter.
#ifndef LIBQVP_SINK_H
#define LIBQVP_SINK_H

#include <cstdio>
#include <ostream>
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
};

// Writes to a FILE* that the caller keeps open.
class FileSink final : public Sink {
 public:
  explicit FileSink(FILE* out) : d_out(out) {}
  void write(std::string_view bytes) override {
    if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), d_out);
  }
  void write_int(int value) override { fprintf(d_out, "%d", value); }
  void flush() override { fflush(d_out); }

 private:
  FILE* d_out;
};

// Writes to a std::ostream with operator<<, so the stream's formatting state
// (width, fill, integer base) applies as it does to any insertion.
class StreamSink final : public Sink {
 public:
  explicit StreamSink(std::ostream& out) : d_out(out) {}
  void write(std::string_view bytes) override { d_out << bytes; }
  void write_int(int value) override { d_out << value; }
  void flush() override { d_out.flush(); }

 private:
  std::ostream& d_out;
};

}  // namespace libqvp

#endif  // LIBQVP_SINK_H
