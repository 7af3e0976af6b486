// Digits are read by hand rather than with strtol, which takes leading
// blanks and a sign and reports overflow through errno: a number from a
// request or a command line is its digits and nothing else.
#include "RequestText.h"

#include <climits>

namespace libqvp {

bool is_control_byte(unsigned char c) { return c < 0x20 || c == 0x7f; }

bool has_control_byte(std::string_view text) {
  for (const char c : text)
    if (is_control_byte(static_cast<unsigned char>(c))) return true;
  return false;
}

NumberText read_number(std::string_view text, unsigned long low,
                       unsigned long high, unsigned long& value, int base) {
  if (text.empty()) return NumberText::malformed;
  const auto b = static_cast<unsigned long>(base);
  unsigned long v = 0;
  bool over = false;
  for (const char c : text) {
    const auto digit = static_cast<unsigned long>(c - '0');
    if (c < '0' || c > '9' || digit >= b) return NumberText::malformed;
    // Once past `high` (or past what an unsigned long holds) the value is
    // no longer needed, only the form.
    over = over || v > (ULONG_MAX - digit) / b;
    if (!over) v = v * b + digit;
    over = over || v > high;
  }
  if (over || v < low) return NumberText::out_of_range;
  value = v;
  return NumberText::ok;
}

}  // namespace libqvp
