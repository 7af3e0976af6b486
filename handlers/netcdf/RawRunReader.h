// Values of a classic-format file sent as they lie on disk: classic, 64-bit
// offset and CDF-5 files store numbers big-endian, so a contiguous run of an
// Int32, UInt32, Float32 or Float64 fixed-size variable already is its XDR
// encoding and goes to the marshaller without being decoded and re-encoded.
// A run of 16-bit integers is swapped into native order in place and goes to
// the marshaller's vectorised widening.
#ifndef QVP_NC_RAWRUNREADER_H
#define QVP_NC_RAWRUNREADER_H

#include <libqvp/Array.h>
#include <libqvp/FileDescriptor.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "ClassicHeader.h"

namespace libqvp {

class RawRunReader {
 public:
  // Takes `fd`, open on the file that `header` describes; it is closed when
  // this object goes away. `name` names the file in messages.
  RawRunReader(FileDescriptor fd, ClassicHeader header, std::string name);
  RawRunReader(const RawRunReader&) = delete;
  RawRunReader& operator=(const RawRunReader&) = delete;

  const ClassicHeader& header() const { return d_header; }

  // An encoded reader for `array`, which serves variable `varid` of `ncid`
  // (the same file open in the netCDF library); it keeps `self` (this
  // object). Null when the variable is not one whose bytes are its wire
  // encoding (or 16-bit integers): a record variable, a type other than 16-bit
  // integers, Int32, UInt32, Float32 and Float64, or a shape other than the
  // array's. The first box it is asked for reads the variable's first and
  // last values both from the file and through the netCDF library; when they
  // differ it declines every box, which then takes the ordinary path.
  static Array::EncodedReader encoded_reader(
      const std::shared_ptr<RawRunReader>& self, int ncid, int varid,
      const Array& array);
  // The same for boxes of variable `varid` named `name` with dimension
  // lengths `shape`, whatever array asks (an aggregation reading a member's
  // part of its array).
  static Array::EncodedReader encoded_reader(
      const std::shared_ptr<RawRunReader>& self, int ncid, int varid,
      const std::string& name, const std::vector<uint64_t>& shape);

  // Frees the buffer of the last box read: a file kept open between
  // requests keeps no box.
  void release_buffer() { std::vector<char>().swap(d_buf); }

  // Shortest run worth a read of its own; boxes of shorter runs decline.
  static constexpr size_t kMinRunBytes = size_t{4} << 10;

 private:
  enum class Check { unknown, same, different };

  bool read_box(int ncid, size_t index, const std::vector<size_t>& start,
                const std::vector<size_t>& stride,
                const std::vector<size_t>& count, Marshaller& m);
  bool agrees_with_library(int ncid, size_t index);
  // Reads `n` bytes at `offset`; throws Error(internal_error) when the file
  // ends before them (it changed since its header was checked).
  void read_exactly(char* out, size_t n, uint64_t offset,
                    const ClassicVariable& v) const;

  FileDescriptor d_fd;
  ClassicHeader d_header;
  std::string d_name;
  std::vector<Check> d_checks;  // per variable id
  std::vector<char> d_buf;      // one box of encoded values
};

}  // namespace libqvp

#endif  // QVP_NC_RAWRUNREADER_H
