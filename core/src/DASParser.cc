// The DAS text form, parsed by recursive descent over TextLexer's tokens,
// one member function per grammar rule. Values are checked against their
// type by AttrTable::append_attr; its complaint is reported with the line.
#include "DASParser.h"

#include <libqvp/Error.h>
#include <libqvp/Type.h>

namespace libqvp {

void DASParser::parse(AttrTable& top) {
  if (d_lex.peek().kind == TokenKind::end) return;
  das(top);
  d_lex.expect(TokenKind::end, "end of input after the attributes");
}

// das := "Attributes" table
void DASParser::das(AttrTable& top) {
  if (!d_lex.accept_keyword("Attributes"))
    TextLexer::fail(d_lex.peek(), "expected 'Attributes', got " +
                                      TextLexer::describe(d_lex.peek()));
  table(top, 0);
}

// table := "{" { entry } "}"
void DASParser::table(AttrTable& t, int depth) {
  const TextToken open = d_lex.expect(TokenKind::lbrace, "'{'");
  if (depth > kMaxDepth)
    TextLexer::fail(open, "containers nested more than " +
                              std::to_string(kMaxDepth) + " deep");
  while (d_lex.peek().kind != TokenKind::rbrace) entry(t, depth);
  d_lex.next();
}

// entry := name table | type name value { "," value } ";"
void DASParser::entry(AttrTable& t, int depth) {
  const TextToken first =
      d_lex.expect(TokenKind::word, "an attribute type, a container or '}'");
  if (d_lex.peek().kind == TokenKind::lbrace) {
    const std::string name = TextLexer::name_of(first);
    AttrTable* c = nullptr;
    try {
      c = t.append_container(name);
    } catch (const Error& e) {
      TextLexer::fail(first, e.get_error_message());
    }
    table(*c, depth + 1);
    return;
  }
  attribute(t, first);
}

// attribute := type name value { "," value } ";"
void DASParser::attribute(AttrTable& t, const TextToken& type) {
  Type ty;
  if (!type_from_name(type.text, ty) || !is_simple_type(ty))
    TextLexer::fail(
        type, "expected an attribute type, got " + TextLexer::describe(type));
  const std::string name = d_lex.expect_name("an attribute name");
  for (;;) {
    const TextToken at = d_lex.peek();
    const std::string v = value(type_name(ty));
    try {
      t.append_attr(name, type_name(ty), v);
    } catch (const Error& e) {
      TextLexer::fail(at, e.get_error_message());
    }
    if (d_lex.peek().kind != TokenKind::comma) break;
    d_lex.next();
  }
  d_lex.expect(TokenKind::semicolon, "',' or ';' after a value");
}

// value := quoted | word    (quoted only for String and Url)
std::string DASParser::value(const std::string& type) {
  const TextToken& t = d_lex.peek();
  if (t.kind == TokenKind::quoted && (type == "String" || type == "Url"))
    return d_lex.next().text;
  return d_lex.expect(TokenKind::word, "a value").text;
}

}  // namespace libqvp
