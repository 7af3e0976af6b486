// The layout of a netCDF file of the classic family that holds a download:
// the format, the header's bytes and where every variable's values go.
#ifndef QVP_NC_CLASSICLAYOUT_H
#define QVP_NC_CLASSICLAYOUT_H

#include <cstdint>
#include <string>
#include <vector>

#include "NcOutputPlan.h"

namespace libqvp {

class ClassicLayout {
 public:
  // Lays out `plan` with `globals` as the global attributes. The format is
  // the smallest that holds them: CDF-1 (version 1); the 64-bit offset
  // format (2) when a variable starts past 2 GiB; CDF-5 (5) for unsigned
  // and 64-bit integer types, dimensions over 2^31 - 1 and variables over
  // 4 GiB. Throws Error(usage_error) for a type no version holds.
  ClassicLayout(const NcOutputPlan& plan,
                const std::vector<NcRawAttribute>& globals);

  int version() const { return d_version; }
  const std::string& header() const { return d_header; }
  // Bytes of the whole file.
  uint64_t file_size() const { return d_size; }
  // Bytes of the values of variable `i` of the plan (one record's for a
  // record variable), without the padding to a multiple of 4.
  uint64_t value_bytes(size_t i) const { return d_bytes[i]; }
  // The padding after variable `i`'s values (after each record's).
  uint64_t padding(size_t i) const { return d_padding[i]; }
  size_t records() const { return d_records; }

 private:
  void lay_out(const NcOutputPlan& plan,
               const std::vector<NcRawAttribute>& globals);

  int d_version = 1;
  std::string d_header;
  uint64_t d_size = 0;
  size_t d_records = 0;
  std::vector<uint64_t> d_bytes, d_padding;
};

}  // namespace libqvp

#endif  // QVP_NC_CLASSICLAYOUT_H
