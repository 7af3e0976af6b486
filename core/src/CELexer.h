// The tokens of constraint expressions and the lexer that makes them. Every
// token carries its byte offset so that errors can say where they are.
#ifndef LIBQVP_CELEXER_H
#define LIBQVP_CELEXER_H

#include <cstddef>
#include <string>

namespace libqvp {

enum class CEToken {
  name,    // a variable or function name, still %-escaped
  number,  // a decimal number, possibly signed, with fraction and exponent
  string,  // a quoted string; `text` holds it unquoted, backslash escapes
           // and then % escapes decoded
  comma,
  dot,
  lbracket,
  rbracket,
  colon,
  lparen,
  rparen,
  lbrace,
  rbrace,
  amp,
  op,  // = != < <= > >= =~ ; `text` holds the operator
  end
};

struct CELexeme {
  CEToken kind = CEToken::end;
  std::string text;
  size_t pos = 0;  // byte offset of the token's first character
};

// Splits a constraint expression into tokens on demand. Blanks between
// tokens are skipped. A name is a run of bytes other than blanks, control
// bytes and the characters , . [ ] : ( ) { } & = < > " ("!" is part of a name
// unless "=" follows it); a run that reads as a whole number is a
// CEToken::number.
class CELexer {
 public:
  explicit CELexer(const std::string& expr) : d_expr(expr) {}

  // The next token, consumed. Throws Error(malformed_expr) for an
  // unterminated string or a control byte.
  CELexeme next();
  // The next token, not consumed.
  const CELexeme& peek();

  // "<line>:<column>" of byte offset `pos` in `expr` (both 1-based).
  static std::string where(const std::string& expr, size_t pos);
  std::string where(size_t pos) const { return where(d_expr, pos); }
  // Throws Error(code, "<where>: <message>"), the place being byte offset
  // `pos` of `expr`.
  [[noreturn]] static void fail(const std::string& expr, int code, size_t pos,
                                const std::string& message);
  [[noreturn]] void fail(int code, size_t pos,
                         const std::string& message) const {
    fail(d_expr, code, pos, message);
  }

  // A token as error messages quote it: "end of input" or 'text'.
  static std::string describe(const CELexeme& t);

 private:
  CELexeme scan();
  // The next `len` bytes as a token of `kind`, consumed.
  CELexeme take(CEToken kind, size_t len);
  CELexeme scan_string(size_t start);
  CELexeme scan_word(size_t start);
  size_t number_end(size_t start) const;

  const std::string& d_expr;
  size_t d_pos = 0;
  bool d_have_peek = false;
  CELexeme d_peek;
  CEToken d_last = CEToken::end;  // kind of the last token consumed
};

}  // namespace libqvp

#endif  // LIBQVP_CELEXER_H
