// The HTTP date forms: the one that every Date and Last-Modified line is
// written in (the dispatcher's and the libraries'), and the three that
// clients may send in If-Modified-Since.
#ifndef QVP_MAPPING_HTTPDATE_H
#define QVP_MAPPING_HTTPDATE_H

#include <ctime>
#include <string>

namespace libqvp {

// Reads `text` in any of the three HTTP date forms, all in GMT:
//   RFC 1123  "Sun, 06 Nov 1994 08:49:37 GMT"
//   RFC 850   "Sunday, 06-Nov-94 08:49:37 GMT"  (years 70-99 are 19xx)
//   asctime   "Sun Nov  6 08:49:37 1994"
// and stores the seconds since the epoch in `t`. Returns false, `t`
// untouched, for anything else (an unknown form, a day or time out of range,
// a year before 1970 or after 9999, trailing text).
bool parse_http_date(const std::string& text, time_t& t);

// `t` as an RFC 1123 date in GMT, "Thu, 01 Jan 1970 00:00:00 GMT", the year
// padded with blanks to four characters: the form parse_http_date reads
// first. A time beyond the calendar gives the date of time 0.
std::string http_date(time_t t);

// The English abbreviations that the date forms use, whatever the locale:
// "Sun".."Sat" for `wday` 0-6 (struct tm's count, from Sunday) and
// "Jan".."Dec" for `month` 0-11; null outside those ranges.
const char* day_abbreviation(int wday);
const char* month_abbreviation(int month);

}  // namespace libqvp

#endif  // QVP_MAPPING_HTTPDATE_H
