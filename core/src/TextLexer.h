// The lexer shared by the DAS and DDS text parsers: words (names, type
// names, keywords and numbers), quoted strings and punctuation, each with
// its line and column, and the one place where their errors are made.
#ifndef LIBQVP_TEXTLEXER_H
#define LIBQVP_TEXTLEXER_H

#include <cstdio>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace libqvp {

enum class TokenKind {
  word,       // letters, digits, _ . - + / ! ~ * ' and %
  quoted,     // "..." with \" and \\ resolved
  lbrace,     // {
  rbrace,     // }
  lbracket,   // [
  rbracket,   // ]
  semicolon,  // ;
  colon,      // :
  equals,     // =
  comma,      // ,
  end         // end of input
};

struct TextToken {
  TokenKind kind = TokenKind::end;
  std::string text;  // as written; for `quoted` the unescaped contents
  int line = 1;
  int column = 1;
};

class TextLexer {
 public:
  static constexpr size_t kMaxInput = size_t{16} << 20;  // bytes
  static constexpr size_t kMaxWord = 4096;               // bytes
  static constexpr size_t kMaxName = 1024;               // bytes, decoded

  // `text` must outlive the lexer.
  explicit TextLexer(std::string_view text) : d_text(text) {}

  // The next token, consumed / not consumed. Blanks and comments ('#' to
  // the end of the line) are skipped. Throws Error(malformed_text) for a
  // character that starts no token, an unterminated string or a word longer
  // than kMaxWord.
  TextToken next();
  const TextToken& peek();

  // Consumes the next token and returns it when it is of `kind`; otherwise
  // throws Error(malformed_text, "line N: expected <what>, got <token>").
  TextToken expect(TokenKind kind, const std::string& what);

  // Consumes a word and returns it as a name, '%' escapes decoded. Throws as
  // expect() does, or when the name is longer than kMaxName.
  std::string expect_name(const std::string& what);

  // The name that the word `t` spells, '%' escapes decoded. Throws when it
  // is longer than kMaxName.
  static std::string name_of(const TextToken& t);

  // True (and consumes it) when the next token is the word `keyword`,
  // compared ignoring case.
  bool accept_keyword(const char* keyword);

  // Throws Error(malformed_text, "line <at.line>: <message>").
  [[noreturn]] static void fail(const TextToken& at,
                                const std::string& message);

  // A token as error messages name it: 'x', the string "x", end of input.
  static std::string describe(const TextToken& t);

  // Reads a whole input for parsing. Throws Error(malformed_text) on a read
  // error or input longer than kMaxInput.
  static std::string read_all(FILE* in);
  static std::string read_all(std::istream& in);

 private:
  TextToken scan();
  void skip_blanks();
  void scan_word(TextToken& t);
  void scan_quoted(TextToken& t);
  char at(size_t i) const { return i < d_text.size() ? d_text[i] : '\0'; }

  std::string_view d_text;
  size_t d_pos = 0;
  int d_line = 1;
  size_t d_line_start = 0;
  std::optional<TextToken> d_peeked;
};

}  // namespace libqvp

#endif  // LIBQVP_TEXTLEXER_H
