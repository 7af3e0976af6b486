// Fuzzes MIME header stripping over an in-memory stream: it must end, and
// when it reports the header's end the stream must stand just after a line
// of exactly CR LF.
#include <libqvp/cgi_util.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (in == nullptr) return 0;
  const bool found = libqvp::remove_mime_header(in);
  const long at = ftell(in);
  fclose(in);
  if (found) {
    if (at < 2 || static_cast<size_t>(at) > size) std::abort();
    if (data[at - 2] != '\r' || data[at - 1] != '\n') std::abort();
    if (at > 2 && data[at - 3] != '\n') std::abort();
  }
  return 0;
}
