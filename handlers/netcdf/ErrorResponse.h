// Error responses of the netCDF handler.
#ifndef QVP_NC_ERRORRESPONSE_H
#define QVP_NC_ERRORRESPONSE_H

#include <libqvp/Error.h>

#include <cstdio>
#include <string>

namespace libqvp {

// The HTTP status that answers `e`: 400 for a bad constraint or command line
// (malformed_expr, bad_hyperslab, type_mismatch, no_such_function,
// usage_error), 404 for a missing data set or variable (no_such_variable),
// 500 for everything else.
int http_status_of(const Error& e);

// Writes the error response of http_status_of(e) (error_block: the error
// header with its Content-Type and Content-Length, then e's text form) to
// `out`, and flushes `out`. `version` is the
// dispatcher's version text (may be empty).
void send_error(FILE* out, const Error& e, const std::string& version);

}  // namespace libqvp

#endif  // QVP_NC_ERRORRESPONSE_H
