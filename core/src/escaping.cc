// Percent-escape decoding and encoding of names.
#include <libqvp/escaping.h>

#include <cctype>

namespace libqvp {
namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool is_name_char(unsigned char c) {
  if (std::isalnum(c) && c < 0x80) return true;
  switch (c) {
    case '_':
    case '.':
    case '-':
    case '+':
    case '/':
    case '!':
    case '~':
    case '*':
    case '\'':
      return true;
    default:
      return false;
  }
}

std::string www2id(const std::string& in, const std::string& escape,
                   const std::string& except) {
  if (escape.empty()) return in;
  std::string out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    if (in.compare(i, escape.size(), escape) != 0) {
      out += in[i++];
      continue;
    }
    if (!except.empty() && in.compare(i, except.size(), except) == 0) {
      out.append(except);
      i += except.size();
      continue;
    }
    const size_t digits = i + escape.size();
    const int hi = digits < in.size() ? hex_value(in[digits]) : -1;
    const int lo = digits + 1 < in.size() ? hex_value(in[digits + 1]) : -1;
    if (hi < 0 || lo < 0) {  // malformed: keep the escape as it is
      out += in[i++];
      continue;
    }
    out += static_cast<char>(hi * 16 + lo);
    i = digits + 2;
  }
  return out;
}

std::string id2www(const std::string& in) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(in.size());
  for (unsigned char c : in) {
    if (is_name_char(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace libqvp
