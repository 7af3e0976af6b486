// The whole text of an error response: header block and Error body.
#ifndef LIBQVP_ERRORBLOCK_H
#define LIBQVP_ERRORBLOCK_H

#include <libqvp/Error.h>

#include <string>

namespace libqvp {

// set_mime_error's block for `status` and `reason` with the lines
// "Content-Type: text/plain; charset=utf-8" and "Content-Length: <body's
// length>" added before its empty line, then the text form of `e`
// (Error::print):
//   "HTTP/1.0 500 Internal Server Error\r\n" ... "Cache-Control: no-cache\r\n"
//   "Content-Type: text/plain; charset=utf-8\r\n" "Content-Length: 79\r\n"
//   "\r\n" "Error {\n    code = 1009;\n" ...
// `version` is the server version text (may be empty). Never throws but
// std::bad_alloc.
std::string error_block(int status, const std::string& reason, const Error& e,
                        const std::string& version);

}  // namespace libqvp

#endif  // LIBQVP_ERRORBLOCK_H
