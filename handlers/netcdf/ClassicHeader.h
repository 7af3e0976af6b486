// The header of a netCDF classic-format file (classic, 64-bit offset and
// CDF-5), read without the netCDF library: the variables, where their values
// lie, and a check that every declared value lies inside the file.
#ifndef QVP_NC_CLASSICHEADER_H
#define QVP_NC_CLASSICHEADER_H

#include <cstdint>
#include <string>
#include <vector>

namespace libqvp {

// One variable as the header declares it.
struct ClassicVariable {
  std::string name;
  int type = 0;                 // the netCDF external type (NC_FLOAT, ...)
  std::vector<uint64_t> shape;  // dimension lengths; a record dimension is 0
  bool is_record = false;       // its first dimension is the record dimension
  uint64_t begin = 0;           // file offset of its first value
  uint64_t value_bytes = 0;     // bytes of one value on disk
  // Values of the whole variable, or of one record of a record variable.
  uint64_t values = 0;
};

class ClassicHeader {
 public:
  // The format version (1 classic, 2 64-bit offset, 5 CDF-5) of the file open
  // on `fd`, from its first four bytes; 0 for any other file (netCDF-4 or not
  // netCDF at all). Reads with pread; the file offset is unchanged.
  static int version_of(int fd);

  // Reads the header of the classic-format file open on `fd`, `file_size`
  // bytes long, and checks it before the netCDF library sees it: counts and
  // lengths that fit in the file, valid types and dimension ids, sizes that
  // do not overflow, and the values of every variable (fixed variables
  // whole, record variables for the declared number of records) inside the
  // file. Throws Error(internal_error, "The data set \"<name>\" is damaged:
  // ...") otherwise. Memory and time are bounded by the header's size.
  ClassicHeader(int fd, uint64_t file_size, const std::string& name);

  int version() const { return d_version; }
  // In the order of their variable ids.
  const std::vector<ClassicVariable>& variables() const { return d_vars; }

 private:
  void check_extents(uint64_t header_end, uint64_t file_size,
                     bool streaming) const;

  std::string d_name;
  int d_version = 0;
  uint64_t d_records = 0;       // as declared
  uint64_t d_record_bytes = 0;  // from one record to the next
  std::vector<ClassicVariable> d_vars;
};

}  // namespace libqvp

#endif  // QVP_NC_CLASSICHEADER_H
