// Text made safe for the browser's pages and CSV: HTML escaping, UTF-8
// repair, and the start and end of every page. Private to the server library.
#ifndef LIBQVP_WEB_TEXT_H
#define LIBQVP_WEB_TEXT_H

#include <string>

namespace libqvp {

// `text` as HTML character data or a quoted attribute value: & < > " ' as
// entities, other control bytes as U+FFFD, bytes that are not valid UTF-8
// as the Latin-1 character of the same code. Never throws.
std::string html_escape(const std::string& text);

// `text` with each byte that is not part of valid UTF-8 replaced by the
// Latin-1 character of the same code (two bytes of UTF-8).
std::string utf8_repaired(const std::string& text);

// The start of a page, up to and including "<body>\n": the doctype, UTF-8,
// the title (escaped here) and the stylesheet that every page shares.
std::string page_start(const std::string& title);

// "</body>\n</html>\n".
std::string page_end();

}  // namespace libqvp

#endif  // LIBQVP_WEB_TEXT_H
