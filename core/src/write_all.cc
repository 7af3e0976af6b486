// The checked writes to a FILE* and to a std::ostream.
#include <libqvp/Error.h>
#include <libqvp/write_all.h>

#include <cerrno>
#include <cstring>
#include <ios>
#include <string>

namespace libqvp {
namespace {

[[noreturn]] void fail(size_t n, const std::string& reason) {
  throw Error(write_error, "could not write " + std::to_string(n) + " bytes" +
                               (reason.empty() ? "" : ": " + reason));
}

}  // namespace

void write_all(FILE* out, std::string_view bytes) {
  if (bytes.empty()) return;
  if (out == nullptr) fail(bytes.size(), "no output stream");
  errno = 0;
  if (fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) {
    const int err = errno;
    fail(bytes.size(), err ? strerror(err) : "");
  }
}

void write_all(std::ostream& out, std::string_view bytes) {
  if (bytes.empty()) return;
  try {
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  } catch (const std::ios_base::failure& e) {
    fail(bytes.size(), e.what());
  }
  if (!out) fail(bytes.size(), "the stream failed");
}

}  // namespace libqvp
