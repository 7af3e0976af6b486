// XDR marshaller over a C stdio stream.
#include <libqvp/Error.h>
#include <libqvp/XDRFileMarshaller.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace libqvp {

XDRFileMarshaller::XDRFileMarshaller(FILE* out) : d_out(out) {}

XDRFileMarshaller::~XDRFileMarshaller() {
  try {
    flush();
  } catch (const Error&) {
    // A destructor must not throw; the stream's error flag records it.
  }
}

void XDRFileMarshaller::write_out(const char* bytes, size_t n) {
  if (n == 0) return;
  errno = 0;
  if (d_out == nullptr || fwrite(bytes, 1, n, d_out) != n) {
    const int err = errno;
    throw Error(write_error,
                "could not write " + std::to_string(n) + " bytes of data" +
                    (err ? std::string(": ") + strerror(err) : ""));
  }
}

}  // namespace libqvp
