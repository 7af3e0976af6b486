// XDR marshaller over a C stdio stream.
#include <libqvp/Error.h>
#include <libqvp/XDRFileMarshaller.h>
#include <libqvp/write_all.h>

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
  write_all(d_out, std::string_view(bytes, n));
}

}  // namespace libqvp
