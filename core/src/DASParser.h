// The parser of the DAS text form.
#ifndef LIBQVP_DASPARSER_H
#define LIBQVP_DASPARSER_H

#include <libqvp/AttrTable.h>

#include <string>
#include <string_view>

#include "TextLexer.h"

namespace libqvp {

class DASParser {
 public:
  static constexpr int kMaxDepth = 64;  // nested containers

  // `text` must outlive the parser.
  explicit DASParser(std::string_view text) : d_lex(text) {}

  // Parses the whole text into `top` (normally empty). Text holding only
  // blanks and comments adds nothing. Throws Error(malformed_text,
  // "line N: ..."); `top` may then hold part of the text.
  void parse(AttrTable& top);

 private:
  void das(AttrTable& top);
  void table(AttrTable& t, int depth);
  void entry(AttrTable& t, int depth);
  void attribute(AttrTable& t, const TextToken& type);
  std::string value(const std::string& type);

  TextLexer d_lex;
};

}  // namespace libqvp

#endif  // LIBQVP_DASPARSER_H
