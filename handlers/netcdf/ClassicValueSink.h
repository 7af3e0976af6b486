// The marshaller through which a download's variables serialise their
// values into a classic netCDF file: numbers in the variable's own netCDF
// type (not the protocol's wider one), strings as fixed-length characters,
// no array lengths. Encoded runs that readers take from a classic file
// already are this encoding and pass through unchanged.
#ifndef QVP_NC_CLASSICVALUESINK_H
#define QVP_NC_CLASSICVALUESINK_H

#include <libqvp/Marshaller.h>
#include <netcdf.h>

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace libqvp {

class ClassicValueSink : public Marshaller {
 public:
  // Writes to `out`, which the caller keeps; buffered until flush().
  explicit ClassicValueSink(FILE* out);
  ~ClassicValueSink() override;
  ClassicValueSink(const ClassicValueSink&) = delete;
  ClassicValueSink& operator=(const ClassicValueSink&) = delete;

  // The values that follow are of netCDF type `type` (atomic); strings
  // take `string_length` characters each (cut, or padded with NULs).
  void begin_variable(nc_type type, size_t string_length);
  // Bytes as they are (a header) / `n` zero bytes (padding).
  void put_bytes(std::string_view bytes);
  void put_zeros(size_t n);
  // Every byte given so far, buffered or written.
  uint64_t written() const { return d_written; }

  void put_byte(uint8_t v) override;
  void put_int16(int16_t v) override;
  void put_uint16(uint16_t v) override;
  void put_int32(int32_t v) override;
  void put_uint32(uint32_t v) override;
  void put_float32(float v) override;
  void put_float64(double v) override;
  void put_str(const std::string& v) override;
  void put_url(const std::string& v) override;
  // Array lengths and Byte padding are no part of a netCDF file: ignored.
  void put_length(uint32_t) override {}
  void put_byte_padding(size_t) override {}
  // Converts `count` values of core type `t` to the variable's type.
  // Throws Error(internal_error) for a pair that cannot be (a bug).
  void put_values(const void* values, size_t count, Type t) override;
  void put_encoded(const void* bytes, size_t n) override;
  // Sequences do not occur in netCDF files: Error(internal_error).
  void put_start_of_instance() override;
  void put_end_of_sequence() override;
  // Writes the buffer to the output (not fflush). Throws Error(write_error).
  void flush() override;

 private:
  char* reserve(size_t n);

  FILE* d_out;
  std::vector<char> d_buf;
  size_t d_used = 0;
  uint64_t d_written = 0;
  nc_type d_type = NC_NAT;
  size_t d_string_length = 0;
};

}  // namespace libqvp

#endif  // QVP_NC_CLASSICVALUESINK_H
