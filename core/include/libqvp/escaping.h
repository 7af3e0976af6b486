// Percent-escaping of names: decoding as URLs carry them, and encoding for the
// DDS text form.
#ifndef LIBQVP_ESCAPING_H
#define LIBQVP_ESCAPING_H

#include <string>

namespace libqvp {

// Returns `in` with each `escape` followed by two hex digits replaced by the
// byte they give, except where the text at that place equals `except` (so
// www2id("a%2Fb%20c", "%", "%20") is "a/b%20c"). A malformed escape (too few
// or non-hex digits, an escape at the end) is left as it is. Never throws.
std::string www2id(const std::string& in, const std::string& escape = "%",
                   const std::string& except = "");

// True for the bytes a name may hold unescaped in the text forms: ASCII
// letters and digits and `_ . - + / ! ~ * '`.
bool is_name_char(unsigned char c);

// Returns `in` with every byte outside letters, digits and `_ . - + / ! ~ * '`
// written as '%' and two upper-case hex digits (a blank becomes "%20").
std::string id2www(const std::string& in);

}  // namespace libqvp

#endif  // LIBQVP_ESCAPING_H
