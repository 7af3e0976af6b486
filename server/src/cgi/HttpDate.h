// Parsing of the HTTP date forms that clients send in If-Modified-Since.
#ifndef QVP_DISPATCH_HTTPDATE_H
#define QVP_DISPATCH_HTTPDATE_H

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

}  // namespace libqvp

#endif  // QVP_DISPATCH_HTTPDATE_H
