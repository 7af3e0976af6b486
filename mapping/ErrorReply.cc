// The dispatcher's error response: the same header block and Error text form
// as a handler's error response, so clients see one format.
#include "ErrorReply.h"

#include "HttpDate.h"

namespace libqvp {
namespace {

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

void write_refusal(FILE* out, const Refusal& r, const std::string& version) {
  const std::string date = http_date(time(nullptr));
  fprintf(out,
          "HTTP/1.0 %d %s\r\n"
          "XVORN-Server: %s\r\n"
          "XKestrum-Server: %s\r\n"
          "XQVP: 3.1\r\n"
          "Date: %s\r\n"
          "Cache-Control: no-cache\r\n",
          r.status, r.reason, version.c_str(), version.c_str(), date.c_str());
  if (!r.location.empty()) {
    fprintf(out, "Content-Type: text/plain\r\nLocation: %s\r\n\r\n",
            r.location.c_str());
    fflush(out);
    return;
  }
  // Written whole, so that a message holding a NUL byte is not cut there.
  const std::string body = "Error {\n    code = " + std::to_string(r.code) +
                           ";\n    message = \"" + escaped(r.message) +
                           "\";\n};\n";
  fprintf(out,
          "Content-Type: text/plain; charset=utf-8\r\n"
          "Content-Length: %zu\r\n\r\n",
          body.size());
  fwrite(body.data(), 1, body.size(), out);
  fflush(out);
}

}  // namespace libqvp
