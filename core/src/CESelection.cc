// Resolution of selection clauses: each names fields of one sequence, and
// compares numbers with numbers and strings with strings.
#include <libqvp/Constructor.h>
#include <libqvp/Error.h>

#include "CELexer.h"
#include "CEPlan.h"

namespace libqvp {
namespace {

size_t index_in(const Constructor& parent, const BaseType* member) {
  size_t i = 0;
  for (auto it = parent.var_begin(); it != parent.var_end(); ++it, ++i)
    if (*it == member) break;
  return i;
}

bool is_string_type(Type t) { return t == Type::String || t == Type::Url; }

// A resolved operand, with the sequence of its field (null for constants).
struct Side {
  CEClauseOperand op;
  const Sequence* seq = nullptr;
  std::string text;  // as messages describe it
};

Side field_side(const std::string& expr, const CEValue& v, const DDS& dds) {
  Side s;
  const BaseType* f = resolve_path(expr, v.path, dds);
  if (!f->is_simple_type())
    CELexer::fail(expr, type_mismatch, v.pos,
                  "selection clauses compare scalars; \"" + v.path.text +
                      "\" is a " + f->type_name());
  s.op.is_field = true;
  s.op.is_string = is_string_type(f->type());
  s.op.name = v.path.text;
  s.text = "\"" + v.path.text + "\" (" + f->type_name() + ")";
  // Walk up through Structures to the sequence whose rows hold the field.
  const BaseType* member = f;
  const BaseType* p = f->get_parent();
  while (p && p->type() == Type::Structure) {
    s.op.route.insert(s.op.route.begin(),
                      index_in(static_cast<const Constructor&>(*p), member));
    member = p;
    p = p->get_parent();
  }
  if (!p || p->type() != Type::Sequence)
    CELexer::fail(expr, malformed_expr, v.pos,
                  "selection clauses filter sequences; \"" + v.path.text +
                      "\" is not a field of a sequence");
  s.seq = static_cast<const Sequence*>(p);
  s.op.route.insert(s.op.route.begin(), index_in(*s.seq, member));
  return s;
}

Side operand_side(const std::string& expr, const CEOperand& o, const DDS& dds) {
  if (!o.is_list && o.values[0].kind == CEValue::Kind::path)
    return field_side(expr, o.values[0], dds);
  Side s;
  for (const CEValue& v : o.values) {
    if (v.kind == CEValue::Kind::path)
      CELexer::fail(
          expr, malformed_expr, v.pos,
          "a list holds numbers and strings only, not \"" + v.path.text + "\"");
    CEClauseOperand::Constant c;
    c.is_string = v.kind == CEValue::Kind::string;
    c.number = v.number;
    c.str = v.str;
    s.op.constants.push_back(std::move(c));
  }
  s.text = o.is_list ? "a list"
           : o.values[0].kind == CEValue::Kind::string
               ? "the string \"" + o.values[0].str + "\""
               : o.values[0].str;
  return s;
}

// Both sides compare as strings or both as numbers.
bool agree(const Side& a, const Side& b) {
  auto kind_of = [](const Side& s, bool& mixed) {
    if (s.op.is_field) return s.op.is_string;
    bool str = s.op.constants[0].is_string;
    for (const auto& c : s.op.constants) mixed |= c.is_string != str;
    return str;
  };
  bool mixed = false;
  const bool sa = kind_of(a, mixed), sb = kind_of(b, mixed);
  return !mixed && sa == sb;
}

}  // namespace

CEClause make_clause(const std::string& expr, const CEClauseAst& ast,
                     const DDS& dds, size_t& patterns_left) {
  Side lhs = operand_side(expr, ast.lhs, dds);
  Side rhs = operand_side(expr, ast.rhs, dds);
  if (!lhs.seq && !rhs.seq)
    CELexer::fail(expr, malformed_expr, ast.lhs.pos,
                  "selection clause names no field of a sequence");
  if (lhs.seq && rhs.seq && lhs.seq != rhs.seq)
    CELexer::fail(expr, malformed_expr, ast.op_pos,
                  "selection clause compares fields of two sequences");
  CEClause::Op op = CEClause::Op::eq;
  CEClause::op_from_text(ast.op, op);
  if (op == CEClause::Op::match && (!lhs.op.is_field || !lhs.op.is_string ||
                                    rhs.op.is_field || !agree(lhs, rhs)))
    CELexer::fail(
        expr, type_mismatch, ast.op_pos,
        "'=~' needs a String field on its left and quoted patterns on its "
        "right, not " +
            lhs.text + " and " + rhs.text);
  if (!agree(lhs, rhs))
    CELexer::fail(expr, type_mismatch, ast.op_pos,
                  "cannot compare " + lhs.text + " with " + rhs.text);
  if (op == CEClause::Op::match) {
    if (rhs.op.constants.size() > patterns_left)
      CELexer::fail(expr, malformed_expr, ast.rhs.pos,
                    "more than " + std::to_string(kMaxPatterns) +
                        " regular expressions in one constraint");
    patterns_left -= rhs.op.constants.size();
  }
  const Sequence* seq = lhs.seq ? lhs.seq : rhs.seq;
  return CEClause(seq, std::move(lhs.op), op, std::move(rhs.op),
                  CELexer::where(expr, ast.rhs.pos));
}

}  // namespace libqvp
