// The XML form of attribute tables and the XML escaping that every DDX
// writer uses. Names and values are arbitrary bytes, so the escaping also
// repairs what XML 1.0 cannot carry: control bytes and invalid UTF-8.
#include <libqvp/AttrTable.h>

namespace libqvp {
namespace {

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence of two or more bytes that starts
// at `p` (`n` bytes left), or 0. Overlong forms, surrogates, code points
// past U+10FFFF and the non-characters U+FFFE and U+FFFF count as malformed.
size_t utf8_sequence(const unsigned char* p, size_t n) {
  const unsigned char c = p[0];
  size_t len = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // bounds of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (n < len || p[1] < lo || p[1] > hi) return 0;
  for (size_t i = 2; i < len; ++i)
    if (!is_continuation(p[i])) return 0;
  if (c == 0xEF && p[1] == 0xBF && (p[2] == 0xBE || p[2] == 0xBF)) return 0;
  return len;
}

void append_char_ref(std::string& out, unsigned code) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string digits;
  do {
    digits.insert(digits.begin(), kHex[code & 15]);
    code >>= 4;
  } while (code != 0);
  out += "&#x" + digits + ";";
}

// Appends the escaped form of the ASCII byte `c`.
void append_ascii(std::string& out, unsigned char c) {
  switch (c) {
    case '&':
      out += "&amp;";
      return;
    case '<':
      out += "&lt;";
      return;
    case '>':
      out += "&gt;";
      return;
    case '"':
      out += "&quot;";
      return;
    case '\'':
      out += "&apos;";
      return;
    case '\t':
    case '\n':
    case '\r':
      append_char_ref(out, c);
      return;
    default:
      break;
  }
  if (c < 0x20)
    append_char_ref(out, 0xFFFD);  // not allowed in XML 1.0 at all
  else
    out += static_cast<char>(c);
}

}  // namespace

std::string AttrTable::xml_escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    if (p[i] < 0x80) {
      append_ascii(out, p[i++]);
      continue;
    }
    const size_t len = utf8_sequence(p + i, n - i);
    if (len == 0) {
      append_char_ref(out, p[i++]);  // the byte as a Latin-1 character
      continue;
    }
    out.append(text, i, len);
    i += len;
  }
  return out;
}

void AttrTable::print_xml(std::ostream& out, const std::string& indent) const {
  for (const Entry& e : d_entries) print_xml_entry(out, e, indent);
}

void AttrTable::print_xml_entry(std::ostream& out, const Entry& e,
                                const std::string& indent) const {
  out << indent << "<Attribute name=\"" << xml_escape(e.name) << "\" type=\""
      << xml_escape(e.type) << "\">\n";
  const std::string inner = indent + "    ";
  if (e.is_container()) {
    e.table->print_xml(out, inner);
  } else {
    for (const std::string& v : e.values)
      out << inner << "<value>" << xml_escape(v) << "</value>\n";
  }
  out << indent << "</Attribute>\n";
}

}  // namespace libqvp
