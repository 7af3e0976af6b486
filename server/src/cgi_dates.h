// Private to the server library: the time text of an error-log entry, kept
// apart from ErrMsgT so that its failure paths can be tested, and where the
// entries go.
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

// Where ErrMsgT's entries go instead of std::cerr: `writer` gets the message
// alone (no time stamp, prefix or newline). A pool worker sets it, so that
// its entries take the pool's line form; null, the default, keeps the ctime
// form on std::cerr.
using ErrorLogWriter = void (*)(const std::string& message);
void set_error_log_writer(ErrorLogWriter writer);

}  // namespace libqvp

#endif  // LIBQVP_CGI_DATES_H
