// The DDS text form, parsed by recursive descent over TextLexer's tokens,
// one member function per grammar rule. The variables are built as they are
// read; the caller adds them to its DDS only once the whole text parsed.
// Recursion is bounded by kMaxDepth, so no input can exhaust the stack.
#include "DDSParser.h"

#include <libqvp/Error.h>
#include <libqvp/Grid.h>
#include <libqvp/Sequence.h>
#include <libqvp/Structure.h>
#include <libqvp/visit_scalar.h>

#include <charconv>
#include <climits>
#include <cstdint>

namespace libqvp {
namespace {

constexpr uint64_t kMaxElements = UINT32_MAX;  // as Array::append_dim allows

std::unique_ptr<BaseType> make_scalar(Type t, const std::string& name) {
  return visit_scalar(t, [&](auto tag) -> std::unique_ptr<BaseType> {
    return std::make_unique<typename decltype(tag)::variable_type>(name);
  });
}

// Runs `build`, reporting an Error from the data model at `at`'s line.
template <typename F>
void at_line(const TextToken& at, F build) {
  try {
    build();
  } catch (const Error& e) {
    TextLexer::fail(at, e.get_error_message());
  }
}

}  // namespace

DDSParser::Result DDSParser::parse() {
  Result r;
  if (d_lex.peek().kind == TokenKind::end) return r;
  dataset(r);
  d_lex.expect(TokenKind::end, "end of input after the data set");
  return r;
}

// dataset := "Dataset" "{" { declaration } "}" [ name ] ";"
void DDSParser::dataset(Result& r) {
  if (!d_lex.accept_keyword("Dataset"))
    TextLexer::fail(d_lex.peek(), "expected 'Dataset', got " +
                                      TextLexer::describe(d_lex.peek()));
  d_lex.expect(TokenKind::lbrace, "'{' after 'Dataset'");
  declarations(r.vars, 0, SIZE_MAX);
  if (d_lex.peek().kind == TokenKind::word)
    r.name = d_lex.expect_name("the data set's name");
  d_lex.expect(TokenKind::semicolon, "';' after the data set's name");
}

// Declarations up to and including the closing "}", at most `max_vars`.
void DDSParser::declarations(Vars& vars, int depth, size_t max_vars) {
  Names names;
  while (d_lex.peek().kind != TokenKind::rbrace) {
    if (vars.size() == max_vars)
      TextLexer::fail(d_lex.peek(),
                      "more than " + std::to_string(max_vars) +
                          " members in one Structure or Sequence");
    vars.push_back(declaration(names, depth));
  }
  d_lex.next();
}

// declaration := scalar_type var ";"
//              | ("Structure" | "Sequence") "{" { declaration } "}" name ";"
//              | "Grid" "{" "Array" ":" array "Maps" ":" { array } "}" name ";"
std::unique_ptr<BaseType> DDSParser::declaration(Names& names, int depth) {
  const TextToken t = d_lex.expect(TokenKind::word, "a type name or '}'");
  Type type;
  if (!type_from_name(t.text, type) || type == Type::Array)
    TextLexer::fail(t, "expected a type name, got " + TextLexer::describe(t));
  if (type == Type::Structure || type == Type::Sequence) {
    if (depth >= kMaxDepth)
      TextLexer::fail(t, "variables nested more than " +
                             std::to_string(kMaxDepth) + " deep");
    return constructor(type, names, depth + 1);
  }
  if (type == Type::Grid) return grid(names);
  return simple(type, names);
}

std::unique_ptr<BaseType> DDSParser::constructor(Type t, Names& names,
                                                 int depth) {
  const char* kind = type_name(t);
  d_lex.expect(TokenKind::lbrace, std::string("'{' after '") + kind + "'");
  Vars members;
  declarations(members, depth, kMaxMembers);
  const std::string name =
      new_name(names, std::string("the name of a ") + kind);
  if (d_lex.peek().kind == TokenKind::lbracket)
    TextLexer::fail(d_lex.peek(),
                    std::string("a ") + kind + " cannot have dimensions");
  d_lex.expect(TokenKind::semicolon,
               "';' after the declaration of '" + d_name_token.text + "'");
  std::unique_ptr<Constructor> c;
  if (t == Type::Structure)
    c = std::make_unique<Structure>(name);
  else
    c = std::make_unique<Sequence>(name);
  at_line(d_name_token, [&] {
    for (auto& m : members) c->add_var(std::move(m));
  });
  return c;
}

// grid := "{" "Array" ":" array "Maps" ":" { array } "}" name ";"
std::unique_ptr<BaseType> DDSParser::grid(Names& names) {
  d_lex.expect(TokenKind::lbrace, "'{' after 'Grid'");
  if (!d_lex.accept_keyword("Array"))
    TextLexer::fail(d_lex.peek(), "expected 'Array:', got " +
                                      TextLexer::describe(d_lex.peek()));
  d_lex.expect(TokenKind::colon, "':' after 'Array'");
  Names members;
  std::unique_ptr<Array> array = grid_part(members, false);
  if (!d_lex.accept_keyword("Maps"))
    TextLexer::fail(d_lex.peek(), "expected 'Maps:', got " +
                                      TextLexer::describe(d_lex.peek()));
  d_lex.expect(TokenKind::colon, "':' after 'Maps'");
  std::vector<std::unique_ptr<Array>> maps;
  while (d_lex.peek().kind != TokenKind::rbrace) {
    const TextToken at = d_lex.peek();
    maps.push_back(grid_part(members, true));
    const size_t i = maps.size() - 1;
    if (i >= array->dimensions())
      TextLexer::fail(at, "Grid has more maps than its array has dimensions");
    const int want = array->dims()[i].size, got = maps[i]->dims()[0].size;
    if (want != got)
      TextLexer::fail(at, "map '" + maps[i]->name() + "' has " +
                              std::to_string(got) + " elements, dimension " +
                              std::to_string(i + 1) + " of the array has " +
                              std::to_string(want));
  }
  d_lex.next();
  const std::string name = new_name(names, "the name of a Grid");
  d_lex.expect(TokenKind::semicolon,
               "';' after the declaration of '" + d_name_token.text + "'");
  auto g = std::make_unique<Grid>(name);
  at_line(d_name_token, [&] {
    g->set_array(std::move(array));
    for (auto& m : maps) g->add_map(std::move(m));
  });
  return g;
}

// array := scalar_type name dimension { dimension } ";"   (a map: one)
std::unique_ptr<Array> DDSParser::grid_part(Names& names, bool is_map) {
  const char* what = is_map ? "a map" : "a Grid's array";
  const TextToken t =
      d_lex.expect(TokenKind::word, std::string("the type of ") + what);
  const Type type = scalar_type(t, what);
  const std::string name = new_name(names, std::string("the name of ") + what);
  const TextToken name_token = d_name_token;
  if (d_lex.peek().kind != TokenKind::lbracket)
    TextLexer::fail(d_lex.peek(), "expected '[' after the name of " +
                                      std::string(what) + ", got " +
                                      TextLexer::describe(d_lex.peek()));
  const std::vector<Dim> dims = dimensions(name);
  if (is_map && dims.size() != 1)
    TextLexer::fail(name_token,
                    "map '" + name_token.text + "' must have one dimension");
  d_lex.expect(TokenKind::semicolon,
               "';' after the declaration of '" + name_token.text + "'");
  std::unique_ptr<Array> a;
  at_line(name_token, [&] {
    a = std::make_unique<Array>(name, make_scalar(type, name));
    for (const Dim& d : dims) a->append_dim(d.size, d.name);
  });
  return a;
}

// simple := scalar_type name { dimension } ";"
std::unique_ptr<BaseType> DDSParser::simple(Type t, Names& names) {
  const std::string name = new_name(names, "a variable name");
  const TextToken name_token = d_name_token;
  const std::vector<Dim> dims = dimensions(name);
  d_lex.expect(TokenKind::semicolon,
               "';' after the declaration of '" + name_token.text + "'");
  if (dims.empty()) return make_scalar(t, name);
  std::unique_ptr<Array> a;
  at_line(name_token, [&] {
    a = std::make_unique<Array>(name, make_scalar(t, name));
    for (const Dim& d : dims) a->append_dim(d.size, d.name);
  });
  return a;
}

// Zero or more dimensions, bounded in number and in elements in all.
std::vector<DDSParser::Dim> DDSParser::dimensions(const std::string& var) {
  std::vector<Dim> dims;
  uint64_t elements = 1;
  while (d_lex.peek().kind == TokenKind::lbracket) {
    const TextToken at = d_lex.peek();
    if (dims.size() == kMaxRank)
      TextLexer::fail(at, "'" + var + "' has more than " +
                              std::to_string(kMaxRank) + " dimensions");
    dims.push_back(dimension());
    elements *= static_cast<uint64_t>(dims.back().size);
    if (elements > kMaxElements)
      TextLexer::fail(at, "'" + var + "' has more than " +
                              std::to_string(kMaxElements) + " elements");
  }
  return dims;
}

// dimension := "[" [ name "=" ] size "]"
DDSParser::Dim DDSParser::dimension() {
  d_lex.expect(TokenKind::lbracket, "'['");
  Dim d{0, ""};
  TextToken size = d_lex.expect(TokenKind::word, "a dimension size or name");
  if (d_lex.peek().kind == TokenKind::equals) {
    d.name = TextLexer::name_of(size);
    d_lex.next();
    size = d_lex.expect(TokenKind::word, "a dimension size");
  }
  const char* first = size.text.data();
  const char* last = first + size.text.size();
  const bool digits =
      size.text.find_first_not_of("0123456789") == std::string::npos;
  const auto res = std::from_chars(first, last, d.size);
  if (!digits || res.ec == std::errc::invalid_argument)
    TextLexer::fail(
        size, "expected a dimension size, got " + TextLexer::describe(size));
  if (res.ec != std::errc())
    TextLexer::fail(size, "dimension size " + TextLexer::describe(size) +
                              " is larger than " + std::to_string(INT_MAX));
  d_lex.expect(TokenKind::rbracket, "']' after a dimension size");
  return d;
}

Type DDSParser::scalar_type(const TextToken& t, const std::string& what) {
  Type type;
  if (!type_from_name(t.text, type) || !is_simple_type(type))
    TextLexer::fail(t, "expected a scalar type for " + what + ", got " +
                           TextLexer::describe(t));
  return type;
}

// A name that `names` does not hold yet, which it then holds.
std::string DDSParser::new_name(Names& names, const std::string& what) {
  d_name_token = d_lex.peek();
  std::string name = d_lex.expect_name(what);
  if (!names.insert(name).second)
    TextLexer::fail(d_name_token,
                    "duplicate name " + TextLexer::describe(d_name_token));
  return name;
}

}  // namespace libqvp
