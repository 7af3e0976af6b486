#include "CfTime.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace libqvp {

int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
  // Howard Hinnant's algorithm: exact for every proleptic Gregorian date.
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

namespace {

// Reads an unsigned decimal of at most `max_digits` digits at `p`.
bool digits(const char*& p, unsigned max_digits, long& out) {
  const char* start = p;
  out = 0;
  while (std::isdigit(static_cast<unsigned char>(*p)) &&
         static_cast<unsigned>(p - start) < max_digits)
    out = out * 10 + (*p++ - '0');
  return p != start;
}

// The date and optional time at `p`; `p` moves past them.
bool date_time(const char*& p, double& seconds) {
  long y = 0, mo = 0, d = 0, h = 0, mi = 0;
  const bool negative = *p == '-';
  if (negative) ++p;
  if (!digits(p, 4, y) || *p++ != '-' || !digits(p, 2, mo) || *p++ != '-' ||
      !digits(p, 2, d) || mo < 1 || mo > 12 || d < 1 || d > 31)
    return false;
  seconds = static_cast<double>(days_from_civil(negative ? -y : y,
                                                static_cast<unsigned>(mo),
                                                static_cast<unsigned>(d))) *
            86400.0;
  const char* q = p;
  if (*q == 'T' || *q == ' ') ++q;
  if (!digits(q, 2, h) || *q != ':') return true;  // a date alone
  ++q;
  if (!digits(q, 2, mi) || h > 24 || mi > 59) return false;
  double s = 0;
  if (*q == ':') {
    ++q;
    char* end = nullptr;
    s = std::strtod(q, &end);
    if (end == q || s < 0 || s >= 61) return false;
    q = end;
  }
  seconds += static_cast<double>(h) * 3600 + static_cast<double>(mi) * 60 + s;
  p = q;
  return true;
}

bool utc_zone(const char* p) {
  while (*p == ' ') ++p;
  if (*p == '\0') return true;
  return std::strcmp(p, "Z") == 0 || std::strcmp(p, "UTC") == 0 ||
         std::strcmp(p, "GMT") == 0 || std::strcmp(p, "+00:00") == 0 ||
         std::strcmp(p, "+0000") == 0 || std::strcmp(p, "00:00") == 0;
}

}  // namespace

bool parse_iso_time(const std::string& text, double& seconds) {
  const char* p = text.c_str();
  return date_time(p, seconds) && utc_zone(p);
}

bool parse_cf_time_units(const std::string& text, CfTimeUnits& out) {
  char unit[32] = {};
  int consumed = 0;
  if (std::sscanf(text.c_str(), " %31s since %n", unit, &consumed) != 1 ||
      consumed == 0)
    return false;
  struct Unit {
    const char* name;
    double seconds;
  };
  static constexpr Unit kUnits[] = {
      {"seconds", 1}, {"second", 1},   {"secs", 1},     {"sec", 1},
      {"s", 1},       {"minutes", 60}, {"minute", 60},  {"mins", 60},
      {"min", 60},    {"hours", 3600}, {"hour", 3600},  {"hrs", 3600},
      {"hr", 3600},   {"h", 3600},     {"days", 86400}, {"day", 86400},
      {"d", 86400},
  };
  bool known = false;
  for (const Unit& u : kUnits)
    if (std::strcmp(unit, u.name) == 0) {
      out.unit_seconds = u.seconds;
      known = true;
    }
  const char* p = text.c_str() + consumed;
  return known && date_time(p, out.epoch) && utc_zone(p);
}

}  // namespace libqvp
