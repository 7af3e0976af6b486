// RFC 822 dates, file modification times and the time-stamped error log.
// The day and month names are fixed English texts, independent of the locale,
// as the wire format and the ctime form require.
#include "cgi_dates.h"

#include <libqvp/cgi_util.h>
#include <sys/stat.h>

#include <cstdio>
#include <iostream>

namespace libqvp {
namespace {

const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// What a time that the calendar cannot hold is written as: the date of time
// 0, so that a header line stays a well-formed date.
constexpr char kEpochDate[] = "Thu, 01 Jan 1970 00:00:00 GMT";
constexpr char kClockFailure[] = "time() error           ";

ErrorLogWriter g_error_log_writer = nullptr;

// A broken-down time whose fields index the name tables safely.
bool has_names(const struct tm& tm) {
  return tm.tm_wday >= 0 && tm.tm_wday < 7 && tm.tm_mon >= 0 && tm.tm_mon < 12;
}

}  // namespace

std::string rfc822_date(const time_t t) {
  struct tm tm;
  if (gmtime_r(&t, &tm) == nullptr || !has_names(tm)) return kEpochDate;
  char buf[256];
  snprintf(buf, 255, "%s, %02d %s %4lld %02d:%02d:%02d GMT", days[tm.tm_wday],
           tm.tm_mday, months[tm.tm_mon], tm.tm_year + 1900LL, tm.tm_hour,
           tm.tm_min, tm.tm_sec);
  buf[255] = '\0';
  return buf;
}

// Tests the S_IFREG bit alone, not the whole file-type field: a socket
// (0140000) shares that bit and counts as a regular file.
time_t last_modified_time(const std::string& name) {
  struct stat st;
  if (stat(name.c_str(), &st) == 0 && (st.st_mode & 0100000) != 0)
    return st.st_mtime;
  return time(nullptr);
}

std::string log_time_text(time_t now) {
  struct tm tm;
  if (now == static_cast<time_t>(-1) || localtime_r(&now, &tm) == nullptr ||
      !has_names(tm))
    return kClockFailure;
  // The ctime form, "Thu Jan  1 00:00:00 1970\n", cut to its first 24
  // characters (a year beyond 9999 loses its last digits, as with ctime).
  char buf[64];
  snprintf(buf, sizeof buf, "%s %s%3d %02d:%02d:%02d %lld", days[tm.tm_wday],
           months[tm.tm_mon], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
           tm.tm_year + 1900LL);
  buf[24] = '\0';
  return buf;
}

void set_error_log_writer(ErrorLogWriter writer) {
  g_error_log_writer = writer;
}

void ErrMsgT(const std::string& Msgt) {
  if (g_error_log_writer != nullptr) return g_error_log_writer(Msgt);
  std::cerr << "[" << log_time_text(time(nullptr))
            << "] QVP server error: " << Msgt << std::endl;
}

}  // namespace libqvp
