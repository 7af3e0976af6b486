// The memory FILE* that records its flushes.
#include "FlushRecorder.h"

#include <cstdlib>

namespace libqvp {
namespace test {

RecordingFile::RecordingFile() {
  cookie_io_functions_t io{};
  io.write = &RecordingFile::on_write;
  io.close = &RecordingFile::on_close;
  d_file = fopencookie(this, "w", io);
  if (!d_file) abort();
  setvbuf(d_file, nullptr, _IOFBF, 1 << 20);
}

RecordingFile::~RecordingFile() {
  if (!d_released && !d_closed) fclose(d_file);
}

const std::string& RecordingFile::drain() {
  d_draining = true;
  fflush(d_file);
  d_draining = false;
  return d_bytes;
}

ssize_t RecordingFile::on_write(void* cookie, const char* buf, size_t size) {
  auto* self = static_cast<RecordingFile*>(cookie);
  self->d_bytes.append(buf, size);
  if (!self->d_draining) self->d_flushes.push_back(self->d_bytes.size());
  return static_cast<ssize_t>(size);
}

int RecordingFile::on_close(void* cookie) {
  static_cast<RecordingFile*>(cookie)->d_closed = true;
  return 0;
}

}  // namespace test
}  // namespace libqvp
