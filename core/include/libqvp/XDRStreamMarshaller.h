// XDR marshaller over a C++ output stream.
#ifndef LIBQVP_XDRSTREAMMARSHALLER_H
#define LIBQVP_XDRSTREAMMARSHALLER_H

#include <libqvp/XDRMarshaller.h>

#include <ostream>

namespace libqvp {

// Writes to `out` with ostream::write; the same bytes as XDRFileMarshaller.
// The caller keeps `out` (not flushed); every byte has been written to it when
// the marshaller is destroyed. Requires: `out` outlives the marshaller.
class XDRStreamMarshaller : public XDRMarshaller {
 public:
  explicit XDRStreamMarshaller(std::ostream& out);
  ~XDRStreamMarshaller() override;

 protected:
  void write_out(const char* bytes, size_t n) override;

 private:
  std::ostream& d_out;
};

}  // namespace libqvp

#endif  // LIBQVP_XDRSTREAMMARSHALLER_H
