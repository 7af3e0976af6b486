// XDR marshaller over a C stdio stream.
#ifndef LIBQVP_XDRFILEMARSHALLER_H
#define LIBQVP_XDRFILEMARSHALLER_H

#include <libqvp/XDRMarshaller.h>

#include <cstdio>

namespace libqvp {

// Writes to `out` with fwrite. The caller keeps `out` (it is neither flushed
// nor closed); every byte has been handed to fwrite when the marshaller is
// destroyed. Requires: `out` outlives the marshaller.
class XDRFileMarshaller : public XDRMarshaller {
 public:
  explicit XDRFileMarshaller(FILE* out);
  ~XDRFileMarshaller() override;

 protected:
  void write_out(const char* bytes, size_t n) override;

 private:
  FILE* d_out;
};

}  // namespace libqvp

#endif  // LIBQVP_XDRFILEMARSHALLER_H
