// The buffered XDR encoder shared by XDRFileMarshaller and XDRStreamMarshaller.
#ifndef LIBQVP_XDRMARSHALLER_H
#define LIBQVP_XDRMARSHALLER_H

#include <libqvp/Marshaller.h>

#include <vector>

namespace libqvp {

// Encodes into an internal buffer and hands full buffers to write_out(); whole
// arrays are byte-swapped in bulk, never element by element. Subclasses must
// call flush() in their destructors (catching nothing else) so that every
// byte is written when the marshaller is released.
class XDRMarshaller : public Marshaller {
 public:
  XDRMarshaller();
  ~XDRMarshaller() override;

  void put_byte(uint8_t v) override;
  void put_int16(int16_t v) override;
  void put_uint16(uint16_t v) override;
  void put_int32(int32_t v) override;
  void put_uint32(uint32_t v) override;
  void put_float32(float v) override;
  void put_float64(double v) override;
  void put_str(const std::string& v) override;
  void put_url(const std::string& v) override;
  void put_length(uint32_t n) override;
  void put_values(const void* values, size_t count, Type t) override;
  void put_encoded(const void* bytes, size_t n) override;
  void put_byte_padding(size_t byte_count) override;
  void put_start_of_instance() override;
  void put_end_of_sequence() override;
  void flush() override;

 protected:
  // Writes `n` bytes to the destination; throws Error(write_error) on failure.
  virtual void write_out(const char* bytes, size_t n) = 0;

 private:
  void put_raw(const void* bytes, size_t n);
  void put_be32(uint32_t v);

  std::vector<char> d_buf;
  size_t d_used = 0;
};

}  // namespace libqvp

#endif  // LIBQVP_XDRMARSHALLER_H
