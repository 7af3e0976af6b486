// Tokens of the DAS and DDS text forms. The lexer works on the whole input
// held in memory, one byte at a time, and keeps a single token of look-ahead.
#include "TextLexer.h"

#include <libqvp/Error.h>
#include <libqvp/escaping.h>
#include <strings.h>

#include <cctype>

namespace libqvp {
namespace {

constexpr size_t kShown = 40;  // bytes of a token quoted in a message

// Name characters, plus '%' which starts an escape inside a name.
bool is_word_char(unsigned char c) { return is_name_char(c) || c == '%'; }

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' ||
         c == '\v';
}

TokenKind punctuation(char c) {
  switch (c) {
    case '{':
      return TokenKind::lbrace;
    case '}':
      return TokenKind::rbrace;
    case '[':
      return TokenKind::lbracket;
    case ']':
      return TokenKind::rbracket;
    case ';':
      return TokenKind::semicolon;
    case ':':
      return TokenKind::colon;
    case '=':
      return TokenKind::equals;
    case ',':
      return TokenKind::comma;
    default:
      return TokenKind::end;
  }
}

// `text` shortened and with unprintable bytes as \xNN.
std::string printable(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < text.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  if (text.size() > kShown) out += "...";
  return out;
}

[[noreturn]] void too_long() {
  throw Error(
      malformed_text,
      "input longer than " + std::to_string(TextLexer::kMaxInput) + " bytes");
}

}  // namespace

void TextLexer::fail(const TextToken& at, const std::string& message) {
  throw Error(malformed_text,
              "line " + std::to_string(at.line) + ": " + message);
}

std::string TextLexer::describe(const TextToken& t) {
  switch (t.kind) {
    case TokenKind::end:
      return "end of input";
    case TokenKind::quoted:
      return "the string \"" + printable(t.text) + "\"";
    default:
      return "'" + printable(t.text) + "'";
  }
}

void TextLexer::skip_blanks() {
  while (d_pos < d_text.size()) {
    const char c = d_text[d_pos];
    if (c == '#') {
      while (d_pos < d_text.size() && d_text[d_pos] != '\n') ++d_pos;
    } else if (is_blank(c)) {
      ++d_pos;
      if (c == '\n') {
        ++d_line;
        d_line_start = d_pos;
      }
    } else {
      return;
    }
  }
}

TextToken TextLexer::scan() {
  skip_blanks();
  TextToken t;
  t.line = d_line;
  t.column = static_cast<int>(d_pos - d_line_start) + 1;
  if (d_pos >= d_text.size()) return t;
  const char c = d_text[d_pos];
  if (is_word_char(static_cast<unsigned char>(c))) {
    scan_word(t);
  } else if (c == '"') {
    scan_quoted(t);
  } else if (punctuation(c) != TokenKind::end) {
    t.kind = punctuation(c);
    t.text = std::string(1, c);
    ++d_pos;
  } else {
    fail(t,
         "unexpected character '" + printable(d_text.substr(d_pos, 1)) + "'");
  }
  return t;
}

void TextLexer::scan_word(TextToken& t) {
  const size_t start = d_pos;
  while (d_pos < d_text.size() &&
         is_word_char(static_cast<unsigned char>(d_text[d_pos])))
    ++d_pos;
  t.kind = TokenKind::word;
  t.text = std::string(d_text.substr(start, d_pos - start));
  if (t.text.size() > kMaxWord)
    fail(t, "word '" + printable(t.text) + "' is longer than " +
                std::to_string(kMaxWord) + " bytes");
}

void TextLexer::scan_quoted(TextToken& t) {
  t.kind = TokenKind::quoted;
  ++d_pos;  // the opening quote
  for (;;) {
    if (d_pos >= d_text.size()) fail(t, "unterminated string");
    const char c = d_text[d_pos++];
    if (c == '"') return;
    if (c == '\\' && (at(d_pos) == '"' || at(d_pos) == '\\')) {
      t.text += d_text[d_pos++];
      continue;
    }
    if (c == '\n') {
      ++d_line;
      d_line_start = d_pos;
    }
    t.text += c;
  }
}

TextToken TextLexer::next() {
  if (d_peeked) {
    TextToken t = std::move(*d_peeked);
    d_peeked.reset();
    return t;
  }
  return scan();
}

const TextToken& TextLexer::peek() {
  if (!d_peeked) d_peeked = scan();
  return *d_peeked;
}

TextToken TextLexer::expect(TokenKind kind, const std::string& what) {
  TextToken t = next();
  if (t.kind != kind) fail(t, "expected " + what + ", got " + describe(t));
  return t;
}

std::string TextLexer::expect_name(const std::string& what) {
  return name_of(expect(TokenKind::word, what));
}

std::string TextLexer::name_of(const TextToken& t) {
  std::string name = www2id(t.text);
  if (name.size() > kMaxName)
    fail(t, "name '" + printable(t.text) + "' is longer than " +
                std::to_string(kMaxName) + " bytes");
  return name;
}

bool TextLexer::accept_keyword(const char* keyword) {
  const TextToken& t = peek();
  if (t.kind != TokenKind::word || strcasecmp(t.text.c_str(), keyword) != 0)
    return false;
  next();
  return true;
}

std::string TextLexer::read_all(FILE* in) {
  std::string text;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, in)) > 0) {
    if (text.size() + n > kMaxInput) too_long();
    text.append(buf, n);
  }
  if (ferror(in)) throw Error(malformed_text, "the input could not be read");
  return text;
}

std::string TextLexer::read_all(std::istream& in) {
  std::string text;
  char buf[65536];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    const auto n = static_cast<size_t>(in.gcount());
    if (text.size() + n > kMaxInput) too_long();
    text.append(buf, n);
  }
  if (in.bad()) throw Error(malformed_text, "the input could not be read");
  return text;
}

}  // namespace libqvp
