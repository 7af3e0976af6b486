// The dispatcher's error response: the same header block and Error text form
// as a handler's error response, so clients see one format.
#include "ErrorReply.h"

namespace libqvp {
namespace {

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed",
                                 "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

std::string http_date(time_t t) {
  struct tm tm {};
  if (gmtime_r(&t, &tm) == nullptr) return "Thu, 01 Jan 1970 00:00:00 GMT";
  char buf[64];
  snprintf(buf, sizeof buf, "%s, %02d %s %4d %02d:%02d:%02d GMT",
           kDays[tm.tm_wday], tm.tm_mday, kMonths[tm.tm_mon], tm.tm_year + 1900,
           tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

void write_refusal(FILE* out, const Refusal& r, const std::string& version) {
  const std::string date = http_date(time(nullptr));
  fprintf(out,
          "HTTP/1.0 %d %s\r\n"
          "XVORN-Server: %s\r\n"
          "XKestrum-Server: %s\r\n"
          "XQVP: 3.1\r\n"
          "Date: %s\r\n"
          "Cache-Control: no-cache\r\n"
          "Content-Type: text/plain\r\n",
          r.status, r.reason, version.c_str(), version.c_str(), date.c_str());
  if (!r.location.empty()) {
    fprintf(out, "Location: %s\r\n\r\n", r.location.c_str());
    fflush(out);
    return;
  }
  fprintf(out, "\r\n");
  fprintf(out, "Error {\n    code = %d;\n    message = \"%s\";\n};\n", r.code,
          escaped(r.message).c_str());
  fflush(out);
}

}  // namespace libqvp
