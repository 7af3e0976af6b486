// The FILE* whose writes fail on demand.
#include "FailingFile.h"

#include <cerrno>
#include <cstdlib>

namespace libqvp {
namespace test {

FailingFile::FailingFile(size_t failing_call) : d_failing_call(failing_call) {
  cookie_io_functions_t io{};
  io.write = &FailingFile::on_write;
  d_file = fopencookie(this, "w", io);
  if (!d_file) abort();
  setvbuf(d_file, nullptr, _IONBF, 0);
}

FailingFile::~FailingFile() { fclose(d_file); }

ssize_t FailingFile::on_write(void* cookie, const char* buf, size_t size) {
  auto* self = static_cast<FailingFile*>(cookie);
  if (++self->d_calls == self->d_failing_call) {
    errno = ENOSPC;
    return 0;  // the cookie contract: 0, never negative, on error
  }
  self->d_bytes.append(buf, size);
  return static_cast<ssize_t>(size);
}

}  // namespace test
}  // namespace libqvp
