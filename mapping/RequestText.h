// The rules for the bytes of what reaches the server from outside (request
// paths and queries, SCGI headers, environment variables, command-line
// numbers): which bytes are control bytes, and how a whole number is read.
#ifndef QVP_MAPPING_REQUESTTEXT_H
#define QVP_MAPPING_REQUESTTEXT_H

#include <string_view>

namespace libqvp {

// A C0 control byte or DEL (0x00-0x1f, 0x7f). None reaches a handler's
// command line, a file name that the catalogue lists or a log line as it is.
bool is_control_byte(unsigned char c);

// True when `text` holds a control byte.
bool has_control_byte(std::string_view text);

// How a text reads as a whole number (read_number).
enum class NumberText { ok, malformed, out_of_range };

// Reads `text` as a whole number written with the digits of `base` (8 or 10)
// alone: at least one digit, and no sign, blank, prefix or other byte before
// or after them. Sets `value` and returns ok when the number lies from `low`
// to `high`; returns out_of_range for a well-formed number outside them,
// however many digits it has, and malformed for anything else. Never throws.
NumberText read_number(std::string_view text, unsigned long low,
                       unsigned long high, unsigned long& value, int base = 10);

}  // namespace libqvp

#endif  // QVP_MAPPING_REQUESTTEXT_H
