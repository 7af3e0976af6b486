// Recursive descent over CELexer, one member function per grammar rule:
//
//   expr       := [projection] { "&" selection }
//   projection := item { "," item }
//   item       := path | name "(" [value { "," value }] ")"
//   path       := name { "." name } { hyperslab }
//   hyperslab  := "[" index [ ":" index [ ":" index ] ] "]"
//   selection  := operand op operand
//   operand    := value | "{" value { "," value } "}"
//   value      := path | number | string
//
// The grammar nests nothing but lists, and lists do not nest, so recursion
// depth is fixed; the bounds in CEParser.h cap the sizes.
#include "CEParser.h"

#include <libqvp/Error.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace libqvp {

CEExpr CEParser::parse() {
  if (d_expr.size() > kMaxExprBytes)
    d_lex.fail(malformed_expr, 0,
               "constraint expression longer than " +
                   std::to_string(kMaxExprBytes) + " bytes");
  CEExpr out;
  projection(out);
  while (d_lex.peek().kind == CEToken::amp) {
    d_lex.next();
    out.clauses.push_back(selection());
  }
  const CELexeme& t = d_lex.peek();
  if (t.kind != CEToken::end) unexpected(t, "',', '&' or end of input");
  return out;
}

// projection := item { "," item }   (may be empty)
void CEParser::projection(CEExpr& out) {
  const CEToken k = d_lex.peek().kind;
  if (k == CEToken::amp || k == CEToken::end) return;
  out.items.push_back(item());
  while (d_lex.peek().kind == CEToken::comma) {
    d_lex.next();
    out.items.push_back(item());
  }
}

// item := path | name "(" args ")"
CEItem CEParser::item() {
  const CELexeme first = d_lex.next();
  if (first.kind != CEToken::name && first.kind != CEToken::number)
    unexpected(first, "a variable or function name");
  CEItem it;
  if (first.kind == CEToken::name && d_lex.peek().kind == CEToken::lparen) {
    it.is_call = true;
    it.call = call(first);
  } else {
    it.path = path(first);
  }
  return it;
}

// path := name { "." name } { hyperslab }
CEPath CEParser::path(const CELexeme& first) {
  CEPath p;
  p.pos = first.pos;
  p.names.push_back(first.text);
  p.text = first.text;
  while (d_lex.peek().kind == CEToken::dot) {
    d_lex.next();
    const CELexeme t = d_lex.next();
    if (t.kind != CEToken::name && t.kind != CEToken::number)
      unexpected(t, "a name after '.'");
    if (p.names.size() == kMaxPathNames)
      d_lex.fail(
          malformed_expr, t.pos,
          "path longer than " + std::to_string(kMaxPathNames) + " names");
    p.names.push_back(t.text);
    p.text += "." + t.text;
  }
  while (d_lex.peek().kind == CEToken::lbracket) {
    if (p.slabs.size() == kMaxHyperslabs)
      d_lex.fail(bad_hyperslab, d_lex.peek().pos, "too many hyperslabs");
    p.slabs.push_back(hyperslab());
  }
  return p;
}

// hyperslab := "[" start "]" | "[" start ":" stop "]"
//            | "[" start ":" stride ":" stop "]"
CEHyperslab CEParser::hyperslab() {
  CEHyperslab h;
  h.pos = expect(CEToken::lbracket, "'['").pos;
  h.start = index("a start index");
  h.stop = h.start;
  if (d_lex.peek().kind == CEToken::colon) {
    d_lex.next();
    h.stop = index("an index");
    if (d_lex.peek().kind == CEToken::colon) {
      d_lex.next();
      h.stride = h.stop;
      h.stop = index("a stop index");
    }
  }
  const size_t end = expect(CEToken::rbracket, "':' or ']'").pos;
  h.text = d_expr.substr(h.pos, end + 1 - h.pos);
  return h;
}

// A non-negative decimal integer that fits an int.
long long CEParser::index(const char* what) {
  const CELexeme t = d_lex.next();
  if (t.kind != CEToken::number) unexpected(t, what);
  const char* b = t.text.data();
  const char* e = b + t.text.size();
  if (*b == '+') ++b;
  if (*b == '-') d_lex.fail(bad_hyperslab, t.pos, "negative index " + t.text);
  long long v = 0;
  const auto r = std::from_chars(b, e, v);
  if (r.ec == std::errc() && r.ptr != e)
    d_lex.fail(malformed_expr, t.pos, "index " + t.text + " is not an integer");
  if (r.ec != std::errc() || v > INT_MAX)
    d_lex.fail(bad_hyperslab, t.pos, "index " + t.text + " is too large");
  return v;
}

// call := name "(" [value { "," value }] ")"
CECall CEParser::call(const CELexeme& name) {
  CECall c;
  c.name = name.text;
  c.pos = name.pos;
  expect(CEToken::lparen, "'('");
  if (d_lex.peek().kind == CEToken::rparen) {
    d_lex.next();
    return c;
  }
  for (;;) {
    if (c.args.size() == kMaxArgs)
      d_lex.fail(malformed_expr, d_lex.peek().pos, "too many arguments");
    c.args.push_back(value("a function argument"));
    const CELexeme t = d_lex.next();
    if (t.kind == CEToken::rparen) return c;
    if (t.kind != CEToken::comma) unexpected(t, "',' or ')'");
  }
}

// value := path | number | string
CEValue CEParser::value(const char* what) {
  const CELexeme t = d_lex.next();
  CEValue v;
  v.pos = t.pos;
  if (t.kind == CEToken::name) {
    v.kind = CEValue::Kind::path;
    v.path = path(t);
  } else if (t.kind == CEToken::number) {
    v.kind = CEValue::Kind::number;
    v.str = t.text;
    const char* b = t.text.data();
    if (*b == '+') ++b;  // from_chars takes no plus sign
    const auto r = std::from_chars(b, t.text.data() + t.text.size(), v.number);
    if (r.ec != std::errc() || !std::isfinite(v.number))
      d_lex.fail(malformed_expr, t.pos,
                 "number " + t.text + " is out of range");
  } else if (t.kind == CEToken::string) {
    v.kind = CEValue::Kind::string;
    v.str = t.text;
  } else {
    unexpected(t, what);
  }
  return v;
}

// selection := operand op operand
CEClauseAst CEParser::selection() {
  CEClauseAst c;
  c.lhs = operand();
  const CELexeme op = expect(CEToken::op, "a comparison operator");
  c.op = op.text;
  c.op_pos = op.pos;
  c.rhs = operand();
  return c;
}

// operand := value | "{" value { "," value } "}"
CEOperand CEParser::operand() {
  CEOperand o;
  o.pos = d_lex.peek().pos;
  if (d_lex.peek().kind != CEToken::lbrace) {
    o.values.push_back(value("a variable, number or string"));
  } else {
    d_lex.next();
    o.is_list = true;
    for (;;) {
      if (o.values.size() == kMaxListValues)
        d_lex.fail(malformed_expr, d_lex.peek().pos, "list too long");
      o.values.push_back(value("a value"));
      const CELexeme t = d_lex.next();
      if (t.kind == CEToken::rbrace) break;
      if (t.kind != CEToken::comma) unexpected(t, "',' or '}'");
    }
  }
  for (const CEValue& v : o.values)
    if (v.kind == CEValue::Kind::path && !v.path.slabs.empty())
      d_lex.fail(
          malformed_expr, v.path.slabs[0].pos,
          "hyperslab " + v.path.slabs[0].text + " in a selection clause");
  return o;
}

CELexeme CEParser::expect(CEToken kind, const std::string& what) {
  CELexeme t = d_lex.next();
  if (t.kind != kind) unexpected(t, what);
  return t;
}

void CEParser::unexpected(const CELexeme& t, const std::string& what) {
  d_lex.fail(malformed_expr, t.pos,
             "expected " + what + ", got " + CELexer::describe(t));
}

}  // namespace libqvp
