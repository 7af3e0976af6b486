// XDR marshaller over a C++ output stream.
#include <libqvp/Error.h>
#include <libqvp/XDRStreamMarshaller.h>
#include <libqvp/write_all.h>

namespace libqvp {

XDRStreamMarshaller::XDRStreamMarshaller(std::ostream& out) : d_out(out) {}

XDRStreamMarshaller::~XDRStreamMarshaller() {
  try {
    flush();
  } catch (...) {
    // A destructor must not throw; the stream's state records the failure.
  }
}

void XDRStreamMarshaller::write_out(const char* bytes, size_t n) {
  write_all(d_out, std::string_view(bytes, n));
}

}  // namespace libqvp
