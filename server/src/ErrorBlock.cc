// An error response with a Content-Type and a Content-Length, so that no
// client has to guess what the body is or whether it came whole; the header
// lines of set_mime_error are kept as they are.
#include <libqvp/ErrorBlock.h>
#include <libqvp/cgi_util.h>
#include <libqvp/header_edit.h>

#include <sstream>

namespace libqvp {

std::string error_block(int status, const std::string& reason, const Error& e,
                        const std::string& version) {
  std::ostringstream header;
  set_mime_error(header, status, reason, version);
  std::string text = header.str();
  std::ostringstream body;
  e.print(body);
  add_header_line(text, "Content-Type: text/plain; charset=utf-8");
  add_header_line(text, "Content-Length: " + std::to_string(body.str().size()));
  return text + body.str();
}

}  // namespace libqvp
