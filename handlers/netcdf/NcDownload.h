// The downloads of a selection: a netCDF file of the classic family (.nc)
// or a netCDF-4 file (.nc4), and what the two share.
#ifndef QVP_NC_NCDOWNLOAD_H
#define QVP_NC_NCDOWNLOAD_H

#include <cstdint>
#include <ctime>
#include <string>

#include "NcFilter.h"

namespace libqvp {

class ConstraintEvaluator;
class DDS;

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

// Answers f's request with what its constraint selects as a netCDF-4 file:
// groups, compound, enum and string types as the data set has them, every
// attribute in its own type, the coordinate variables of the selected
// variables' dimensions sliced the same way. The netCDF library writes the
// file into a SpoolFile; the header block (as send_netcdf's, the file name
// ending in .nc4) and the file follow once it is whole. Throws Error before
// anything is written as send_netcdf does, and for a selection whose values
// (or the file made) come to more than the cap (usage_error), checked
// before the file is written and again before the header; afterwards only
// read and write failures. Flushes stdout.
void send_netcdf4(const NcFilter& f);

// The largest download, in bytes: the environment variable `variable` when
// it is a positive number, else `fallback`.
uint64_t download_cap(const char* variable, uint64_t fallback);
constexpr const char* kNcCapVariable = "QVP_MAX_NC_BYTES";
constexpr uint64_t kDefaultNcCap = uint64_t{64} << 30;
// A netCDF-4 download is written to a temporary file first: a smaller cap.
constexpr const char* kNc4CapVariable = "QVP_MAX_NC4_BYTES";
constexpr uint64_t kDefaultNc4Cap = uint64_t{4} << 30;

// When f's request is conditional and the data set unchanged since `lmt`:
// writes the 304 header, flushes stdout and returns true.
bool answered_not_modified(const NcFilter& f, time_t lmt);

// Applies f's constraint to `dds` (Errors as parse_constraint throws them);
// throws Error(usage_error, "A function's result cannot be <what>") for a
// function call.
void select_for_download(const NcFilter& f, DDS& dds, ConstraintEvaluator& eval,
                         const std::string& what);

// Throws Error(usage_error) naming both when `bytes` > `cap`.
void refuse_over_cap(uint64_t bytes, uint64_t cap);

// "Tue Mar  5 10:00:00 2024: <f's URL>.<suffix>?<constraint>" (no "?..."
// without a constraint), the line a download adds to the history attribute.
std::string history_line(const NcFilter& f, const std::string& suffix);

// The header block of a download: set_mime_binary's for `lmt`, with
// Content-Type application/x-netcdf, Content-Disposition naming
// `file_name` and Content-Length `length`.
std::string download_header(const NcFilter& f, time_t lmt,
                            const std::string& file_name, uint64_t length);

}  // namespace libqvp

#endif  // QVP_NC_NCDOWNLOAD_H
