// The constraint expression lexer: a single forward scan with one token of
// look-ahead. Names are taken broadly because the request filter has already
// decoded every escape but "%20", so a name may hold any byte the grammar
// does not use.
#include "CELexer.h"

#include <libqvp/Error.h>
#include <libqvp/escaping.h>

#include <cctype>
#include <cstring>
#include <utility>

namespace libqvp {
namespace {

bool is_special(char c) { return std::strchr(",.[]:(){}&=<>\"", c) != nullptr; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool is_control(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7f;
}

// The punctuation mark that the byte `c` is on its own; CEToken::end for any
// other byte.
CEToken mark_of(char c) {
  static constexpr std::pair<char, CEToken> kMarks[] = {
      {',', CEToken::comma},    {'[', CEToken::lbracket},
      {']', CEToken::rbracket}, {':', CEToken::colon},
      {'(', CEToken::lparen},   {')', CEToken::rparen},
      {'{', CEToken::lbrace},   {'}', CEToken::rbrace},
      {'&', CEToken::amp}};
  for (const auto& [byte, kind] : kMarks)
    if (byte == c) return kind;
  return CEToken::end;
}

// The length of the comparison operator that starts with `c`, followed by
// `n`; 0 when none does.
size_t operator_length(char c, char n) {
  if (c == '=') return n == '~' ? 2 : 1;
  if (c == '<' || c == '>') return n == '=' ? 2 : 1;
  if (c == '!' && n == '=') return 2;
  return 0;
}

}  // namespace

CELexeme CELexer::next() {
  if (d_have_peek) {
    d_have_peek = false;
    return d_peek;
  }
  return scan();
}

const CELexeme& CELexer::peek() {
  if (!d_have_peek) {
    d_peek = scan();
    d_have_peek = true;
  }
  return d_peek;
}

std::string CELexer::where(const std::string& expr, size_t pos) {
  size_t line = 1, col = 1;
  for (size_t i = 0; i < pos && i < expr.size(); ++i) {
    if (expr[i] == '\n') {
      ++line;
      col = 1;
    } else {
      ++col;
    }
  }
  return std::to_string(line) + ":" + std::to_string(col);
}

void CELexer::fail(const std::string& expr, int code, size_t pos,
                   const std::string& message) {
  throw Error(code, where(expr, pos) + ": " + message);
}

std::string CELexer::describe(const CELexeme& t) {
  if (t.kind == CEToken::end) return "end of input";
  if (t.kind == CEToken::string) return "string \"" + t.text + "\"";
  return "'" + t.text + "'";
}

CELexeme CELexer::scan() {
  while (d_pos < d_expr.size() && is_blank(d_expr[d_pos])) ++d_pos;
  if (d_pos >= d_expr.size()) {
    CELexeme end;
    end.pos = d_pos;
    return end;
  }
  const char c = d_expr[d_pos];
  const char n = d_pos + 1 < d_expr.size() ? d_expr[d_pos + 1] : '\0';
  if (c == '"') return scan_string(d_pos);
  if (const CEToken mark = mark_of(c); mark != CEToken::end)
    return take(mark, 1);
  if (const size_t len = operator_length(c, n)) return take(CEToken::op, len);
  // ".5" is a number only where a value may start, not after a name.
  if (c == '.' && (d_last == CEToken::name || d_last == CEToken::number ||
                   d_last == CEToken::rbracket || d_last == CEToken::rparen ||
                   !is_digit(n)))
    return take(CEToken::dot, 1);
  if (is_control(c))
    fail(malformed_expr, d_pos, "unexpected control character");
  return scan_word(d_pos);
}

CELexeme CELexer::take(CEToken kind, size_t len) {
  CELexeme t;
  t.kind = kind;
  t.pos = d_pos;
  t.text = d_expr.substr(d_pos, len);
  d_pos += len;
  d_last = kind;
  return t;
}

CELexeme CELexer::scan_string(size_t start) {
  CELexeme t;
  t.kind = CEToken::string;
  t.pos = start;
  size_t i = start + 1;
  while (i < d_expr.size() && d_expr[i] != '"') {
    if (d_expr[i] == '\\' && i + 1 < d_expr.size()) ++i;
    t.text += d_expr[i++];
  }
  if (i >= d_expr.size()) fail(malformed_expr, start, "unterminated string");
  // A URL cannot carry a blank: strings arrive with "%20" still encoded.
  t.text = www2id(t.text);
  d_pos = i + 1;
  d_last = CEToken::string;
  return t;
}

// End of the number that starts at `start`, or `start` when none does:
// [+-] (digits [. digits] | . digits) [(e|E) [+-] digits].
size_t CELexer::number_end(size_t start) const {
  const std::string& s = d_expr;
  size_t i = start;
  auto digits = [&](size_t from) {
    size_t j = from;
    while (j < s.size() && is_digit(s[j])) ++j;
    return j;
  };
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t j = digits(i);
  const bool whole = j > i;
  if (j < s.size() && s[j] == '.' && j + 1 < s.size() && is_digit(s[j + 1]))
    j = digits(j + 1);
  else if (!whole)
    return start;
  if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
    size_t k = j + 1;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
    const size_t e = digits(k);
    if (e > k) j = e;
  }
  return j;
}

CELexeme CELexer::scan_word(size_t start) {
  auto is_name_byte = [&](size_t i) {
    const char c = d_expr[i];
    if (is_blank(c) || is_control(c) || is_special(c)) return false;
    return !(c == '!' && i + 1 < d_expr.size() && d_expr[i + 1] == '=');
  };
  CELexeme t;
  t.pos = start;
  const size_t num = number_end(start);
  if (num > start && (num >= d_expr.size() || !is_name_byte(num))) {
    t.kind = CEToken::number;
  } else {
    t.kind = CEToken::name;
  }
  size_t i = num;
  if (t.kind == CEToken::name && d_expr[start] == '.') {  // ".5x": a dot
    t.kind = CEToken::dot;
    i = start + 1;
  } else if (t.kind == CEToken::name) {
    i = start;
    while (i < d_expr.size() && is_name_byte(i)) ++i;
  }
  t.text = d_expr.substr(start, i - start);
  d_pos = i;
  d_last = t.kind;
  return t;
}

}  // namespace libqvp
