// The sink that variables serialise their values through.
#ifndef LIBQVP_MARSHALLER_H
#define LIBQVP_MARSHALLER_H

#include <libqvp/Type.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace libqvp {

// Encodes values in XDR (big-endian). Scalars of 1 to 4 bytes take 4 bytes
// (Int16 sign-extended, Byte and UInt16 zero-extended), Float64 8; strings are
// a 4-byte length, the bytes and zero padding to a multiple of 4.
// Write failures throw Error(write_error), at a put or at flush().
class Marshaller {
 public:
  virtual ~Marshaller() = default;

  virtual void put_byte(uint8_t v) = 0;
  virtual void put_int16(int16_t v) = 0;
  virtual void put_uint16(uint16_t v) = 0;
  virtual void put_int32(int32_t v) = 0;
  virtual void put_uint32(uint32_t v) = 0;
  virtual void put_float32(float v) = 0;
  virtual void put_float64(double v) = 0;
  virtual void put_str(const std::string& v) = 0;
  virtual void put_url(const std::string& v) = 0;

  // A raw 4-byte unsigned integer: array lengths.
  virtual void put_length(uint32_t n) = 0;

  // `count` numeric values of type `t` stored in memory in native order at
  // `values`, encoded as array elements: Byte one byte each (no padding
  // here), Int16/UInt16 widened to 4 bytes, the rest at their scalar width.
  // May be called several times for one array (box by box).
  virtual void put_values(const void* values, size_t count, Type t) = 0;

  // `n` bytes that already are the XDR encoding of array elements (a run of
  // big-endian values read from a file, for example), written unchanged.
  // May be called several times for one array, between put_values calls.
  virtual void put_encoded(const void* bytes, size_t n) = 0;

  // The zero bytes that pad `byte_count` packed Byte elements to a multiple
  // of 4; nothing for a multiple of 4.
  virtual void put_byte_padding(size_t byte_count) = 0;

  // Sequence row markers: 5A 00 00 00 before each row, A5 00 00 00 after the
  // last row.
  virtual void put_start_of_instance() = 0;
  virtual void put_end_of_sequence() = 0;

  // Writes out every buffered byte (not a flush of the underlying stream).
  virtual void flush() = 0;
};

}  // namespace libqvp

#endif  // LIBQVP_MARSHALLER_H
