// HTML and URL escaping for the browser's pages, UTF-8 repair for CSV.
#include "web_text.h"

#include <libqvp/AttrTable.h>

namespace libqvp {
namespace {

// The length of the valid UTF-8 sequence at p (1 to 4 bytes, no overlong
// forms, no surrogates, nothing above U+10FFFF); 0 when there is none.
size_t utf8_length(const unsigned char* p, size_t left) {
  if (p[0] < 0x80) return 1;
  size_t len = 0;
  unsigned min = 0;
  if ((p[0] & 0xE0) == 0xC0) {
    len = 2;
    min = 0x80;
  } else if ((p[0] & 0xF0) == 0xE0) {
    len = 3;
    min = 0x800;
  } else if ((p[0] & 0xF8) == 0xF0) {
    len = 4;
    min = 0x10000;
  } else {
    return 0;
  }
  if (left < len) return 0;
  unsigned code = p[0] & (0x7F >> len);
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    code = (code << 6) | (p[i] & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    return 0;
  return len;
}

}  // namespace

std::string html_escape(const std::string& text) {
  return AttrTable::xml_escape(text);
}

std::string utf8_repaired(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < text.size();) {
    const size_t len = utf8_length(p + i, text.size() - i);
    if (len == 0) {  // the byte as a Latin-1 character
      out += static_cast<char>(0xC0 | (p[i] >> 6));
      out += static_cast<char>(0x80 | (p[i] & 0x3F));
      ++i;
    } else {
      out.append(text, i, len);
      i += len;
    }
  }
  return out;
}

std::string page_start(const std::string& title) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta "
         "charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width\">\n"
         "<title>" +
         html_escape(title) +
         "</title>\n<style>\n"
         "body{font-family:sans-serif;margin:1em 2em;color:#222}\n"
         "table{border-collapse:collapse}\n"
         "th,td{text-align:left;padding:.15em .8em;vertical-align:top}\n"
         "tr:nth-child(even){background:#f3f3f3}\n"
         "td.num{text-align:right}\n"
         "fieldset{margin:.6em 0;border:1px solid #ccc}\n"
         "legend code{font-weight:bold}\n"
         ".dims label{margin-right:1.2em}\n"
         ".dims input{width:6em}\n"
         "#ce{width:100%;font-family:monospace}\n"
         ".links a{margin-right:1em}\n"
         ".note{color:#555}\n"
         ".title{font-size:1.2em}\n"
         "img.preview{max-width:100%;height:auto;min-height:4em}\n"
         "</style>\n</head>\n<body>\n";
}

std::string page_end() { return "</body>\n</html>\n"; }

}  // namespace libqvp
