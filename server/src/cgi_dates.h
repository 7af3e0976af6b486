// Private to the cgi_util module: the time text of an error-log entry, kept
// apart from ErrMsgT so that its failure paths can be tested.
#ifndef LIBQVP_CGI_DATES_H
#define LIBQVP_CGI_DATES_H

#include <ctime>
#include <string>

namespace libqvp {

// The text written between "[" and "]" of an error-log entry: the first 24
// characters of the ctime form of `now` in local time ("Thu Jan  1 00:00:00
// 1970"), or "time() error" and eleven blanks when `now` is -1 (the clock
// failed) or cannot be converted to a calendar time.
std::string log_time_text(time_t now);

}  // namespace libqvp

#endif  // LIBQVP_CGI_DATES_H
