// The syntax tree of a constraint expression and the recursive-descent
// parser that builds it. Parsing looks at no DDS: names are resolved and
// hyperslabs checked against the variables later (CEPlan).
#ifndef LIBQVP_CEPARSER_H
#define LIBQVP_CEPARSER_H

#include <cstddef>
#include <string>
#include <vector>

#include "CELexer.h"

namespace libqvp {

// [start:stride:stop], indices as written (not yet checked against a size).
struct CEHyperslab {
  long long start = 0;
  long long stride = 1;
  long long stop = 0;
  size_t pos = 0;    // of the "["
  std::string text;  // "[0:2:5]", for messages
};

// name {"." name} {hyperslab}; names still %-escaped.
struct CEPath {
  std::vector<std::string> names;
  std::vector<CEHyperslab> slabs;
  size_t pos = 0;
  std::string text;  // the dotted path as written, without hyperslabs
};

// A function argument or one value of a selection operand.
struct CEValue {
  enum class Kind { path, number, string };
  Kind kind = Kind::number;
  CEPath path;        // path
  double number = 0;  // number
  std::string str;    // string (unescaped); number: the text as written
  size_t pos = 0;
};

struct CECall {
  std::string name;
  std::vector<CEValue> args;
  size_t pos = 0;
};

struct CEItem {
  bool is_call = false;
  CEPath path;  // when !is_call
  CECall call;  // when is_call
};

// path | number | string | "{" values "}"
struct CEOperand {
  std::vector<CEValue> values;
  bool is_list = false;
  size_t pos = 0;
};

struct CEClauseAst {
  CEOperand lhs;
  std::string op;  // = != < <= > >= =~
  size_t op_pos = 0;
  CEOperand rhs;
};

struct CEExpr {
  std::vector<CEItem> items;
  std::vector<CEClauseAst> clauses;
};

// Bounds on what one expression may cost.
constexpr size_t kMaxExprBytes = 256 * 1024;
constexpr size_t kMaxPathNames = 64;
constexpr size_t kMaxHyperslabs = 64;
constexpr size_t kMaxListValues = 4096;
constexpr size_t kMaxArgs = 64;

// Parses `expr` (which must outlive the parser). Throws
// Error(malformed_expr) or, for an index that is negative or too large,
// Error(bad_hyperslab), with "<line>:<column>: " and the offending text.
class CEParser {
 public:
  explicit CEParser(const std::string& expr) : d_expr(expr), d_lex(expr) {}
  CEExpr parse();

 private:
  void projection(CEExpr& out);
  CEItem item();
  CEPath path(const CELexeme& first);
  CEHyperslab hyperslab();
  long long index(const char* what);
  CECall call(const CELexeme& name);
  CEValue value(const char* what);
  CEClauseAst selection();
  CEOperand operand();

  CELexeme expect(CEToken kind, const std::string& what);
  [[noreturn]] void unexpected(const CELexeme& t, const std::string& what);

  const std::string& d_expr;
  CELexer d_lex;
};

}  // namespace libqvp

#endif  // LIBQVP_CEPARSER_H
