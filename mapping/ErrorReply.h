// The mapping's own error responses (the dispatcher's and the pool's),
// written before any handler runs.
#ifndef QVP_MAPPING_ERRORREPLY_H
#define QVP_MAPPING_ERRORREPLY_H

#include <libqvp/ErrorCode.h>

#include <cstdio>
#include <string>

namespace libqvp {

// A request that the dispatcher refuses: the HTTP status and reason, and the
// code (an ErrorCode) and message of the Error body. Messages never name a
// filesystem path. A redirect is a Refusal with a `location` (status 301).
struct Refusal {
  int status;
  const char* reason;
  int code;
  std::string message;
  std::string location = {};  // absolute URL, percent-encoded; "" for none
};

// Writes the whole error response for `r` to `out` and flushes it, in the
// form of the netCDF handler's error responses:
//   "HTTP/1.0 404 Not Found\r\n" "XVORN-Server: <version>\r\n"
//   "XKestrum-Server: <version>\r\n" "XQVP: 3.1\r\n" "Date: <now>\r\n"
//   "Cache-Control: no-cache\r\n" "Content-Type: text/plain; charset=utf-8\r\n"
//   "Content-Length: <body's length>\r\n" "\r\n"
//   "Error {\n    code = 1004;\n    message = \"...\";\n};\n"
// Quotes and backslashes in the message are escaped with a backslash. With a
// `location`, "Content-Type: text/plain\r\n" "Location: <location>\r\n"
// end the block and the body is empty.
void write_refusal(FILE* out, const Refusal& r, const std::string& version);

}  // namespace libqvp

#endif  // QVP_MAPPING_ERRORREPLY_H
