// The downloads of a selection: a netCDF file of the classic family (.nc).
#ifndef QVP_NC_NCDOWNLOAD_H
#define QVP_NC_NCDOWNLOAD_H

#include <cstdint>

#include "NcFilter.h"

namespace libqvp {

// Answers f's request with what its constraint selects as a netCDF file
// (ClassicLayout picks the format), streamed to stdout as it is read: the
// header block (Content-Type application/x-netcdf, Content-Disposition
// naming the file, Content-Length), the file's header, then the values in
// the file's order. A conditional request for an unchanged data set gets a
// 304. Throws Error before anything is written for a bad constraint, a
// selection that cannot be one such file (NcOutputPlan, ClassicLayout), a
// 64-bit integer without an exact Float64 value, or a file larger than the
// cap (usage_error); afterwards only read and write failures. Flushes
// stdout.
void send_netcdf(const NcFilter& f);

// The largest .nc download, in bytes: QVP_MAX_NC_BYTES from the environment
// when it is a positive number, else kDefaultNcCap.
uint64_t netcdf_cap();
constexpr uint64_t kDefaultNcCap = uint64_t{64} << 30;

}  // namespace libqvp

#endif  // QVP_NC_NCDOWNLOAD_H
