// XDR marshaller over a C++ output stream.
#include <libqvp/Error.h>
#include <libqvp/XDRStreamMarshaller.h>

#include <string>

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
  if (n == 0) return;
  try {
    d_out.write(bytes, static_cast<std::streamsize>(n));
  } catch (const std::ios_base::failure& e) {
    throw Error(write_error, "could not write " + std::to_string(n) +
                                 " bytes of data: " + e.what());
  }
  if (!d_out)
    throw Error(write_error,
                "could not write " + std::to_string(n) + " bytes of data");
}

}  // namespace libqvp
