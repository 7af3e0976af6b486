// CF time units ("days since 2020-01-01", "hours since 2021-06-01 00:00:00")
// and calendar dates, in the proleptic Gregorian calendar, UTC.
#ifndef QVP_NC_CFTIME_H
#define QVP_NC_CFTIME_H

#include <cstdint>
#include <string>

namespace libqvp {

struct CfTimeUnits {
  double unit_seconds = 1;  // seconds in one unit
  double epoch = 0;         // the reference time, seconds since 1970-01-01
};

// Parses `text` as "<unit> since <date>[ <time>][ <zone>]"; unit seconds,
// minutes, hours or days (and their short forms), date YYYY-MM-DD (or
// YYYY-M-D), time hh:mm[:ss[.f]], zone Z, UTC or +00:00. False for anything
// else, and for a zone other than UTC.
bool parse_cf_time_units(const std::string& text, CfTimeUnits& out);

// Days from 1970-01-01 to year-month-day.
int64_t days_from_civil(int64_t year, unsigned month, unsigned day);

// Parses an ISO date "YYYY-MM-DD[(T| )hh:mm[:ss[.f]]][Z]" into seconds since
// 1970-01-01; false when `text` is not one.
bool parse_iso_time(const std::string& text, double& seconds);

}  // namespace libqvp

#endif  // QVP_NC_CFTIME_H
