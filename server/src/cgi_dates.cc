// RFC 822 dates, file modification times and the time-stamped error log.
// The date and the day and month names are the mapping's (HttpDate.h): fixed
// English texts, independent of the locale, as the wire format and the ctime
// form require.
#include "cgi_dates.h"

#include <libqvp/cgi_util.h>
#include <sys/stat.h>

#include <cstdio>
#include <iostream>

#include "HttpDate.h"

namespace libqvp {
namespace {

constexpr char kClockFailure[] = "time() error           ";

ErrorLogWriter g_error_log_writer = nullptr;

}  // namespace

std::string rfc822_date(const time_t t) { return http_date(t); }

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
  const char* day = nullptr;
  const char* month = nullptr;
  if (now == static_cast<time_t>(-1) || localtime_r(&now, &tm) == nullptr ||
      (day = day_abbreviation(tm.tm_wday)) == nullptr ||
      (month = month_abbreviation(tm.tm_mon)) == nullptr)
    return kClockFailure;
  // The ctime form, "Thu Jan  1 00:00:00 1970\n", cut to its first 24
  // characters (a year beyond 9999 loses its last digits, as with ctime).
  char buf[64];
  snprintf(buf, sizeof buf, "%s %s%3d %02d:%02d:%02d %lld", day, month,
           tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900LL);
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
