// Evaluation of selection clauses on sequence rows. Patterns are POSIX
// extended regular expressions matched against the whole value; with
// libstdc++ they run on its polynomial (breadth-first) matcher, so no pattern
// backtracks exponentially or recurses once per input byte, and the checks
// below bound the size of the automaton a pattern can build.
#include "CEClause.h"

#include <libqvp/Constructor.h>
#include <libqvp/Error.h>

#include <algorithm>
#include <cctype>

namespace libqvp {
namespace {

#ifdef __GLIBCXX__
constexpr auto kRegexFlags =
    std::regex::extended | std::regex_constants::__polynomial;
#else
constexpr auto kRegexFlags = std::regex::extended;
#endif

// Largest product of the repetition counts in one pattern, and of that
// product and the pattern's length: the automaton grows with both.
constexpr long kMaxRepeatProduct = 1024;
constexpr long kMaxPatternCost = 16384;

[[noreturn]] void bad_pattern(const std::string& where, const std::string& p,
                              const std::string& why) {
  throw Error(malformed_expr,
              where + ": regular expression \"" + p + "\" " + why);
}

// Reads the counts of "{n}", "{n,}" or "{n,m}" at p[i] == '{'; returns the
// largest bound written and sets `i` past the "}".
long repeat_bound(const std::string& p, size_t& i, const std::string& where) {
  long largest = 0, cur = 0;
  bool digits = false;
  for (++i; i < p.size() && p[i] != '}'; ++i) {
    if (std::isdigit(static_cast<unsigned char>(p[i]))) {
      cur = cur * 10 + (p[i] - '0');
      digits = true;
      if (cur > kMaxRepeatCount)
        bad_pattern(
            where, p,
            "repeats more than " + std::to_string(kMaxRepeatCount) + " times");
    } else if (p[i] == ',') {
      largest = std::max(largest, cur);
      cur = 0;
    } else {
      bad_pattern(where, p, "has a malformed repetition count");
    }
  }
  if (!digits || i >= p.size())
    bad_pattern(where, p, "has a malformed repetition count");
  return std::max(largest, cur);
}

// Refuses patterns whose automaton could be large.
void check_pattern(const std::string& p, const std::string& where) {
  if (p.size() > kMaxPatternBytes)
    bad_pattern(
        where, p.substr(0, 32) + "...",
        "is longer than " + std::to_string(kMaxPatternBytes) + " bytes");
  long product = 1;
  for (size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '\\') {
      ++i;
    } else if (p[i] == '[') {  // bracket expression: "]" first is literal
      size_t j = i + 1;
      if (j < p.size() && p[j] == '^') ++j;
      if (j < p.size() && p[j] == ']') ++j;
      while (j < p.size() && p[j] != ']') ++j;
      i = j;
    } else if (p[i] == '{') {
      product *= std::max(1L, repeat_bound(p, i, where));
      if (product > kMaxRepeatProduct ||
          product * static_cast<long>(p.size()) > kMaxPatternCost)
        bad_pattern(where, p, "has too many repetitions");
    }
  }
}

std::regex compile(const std::string& p, const std::string& where) {
  check_pattern(p, where);
  try {
    return std::regex(p, kRegexFlags);
  } catch (const std::regex_error& e) {
    bad_pattern(where, p, std::string("does not compile: ") + e.what());
  }
}

template <typename T>
bool ordered(const T& a, const T& b, CEClause::Op op) {
  switch (op) {
    case CEClause::Op::eq:
      return a == b;
    case CEClause::Op::ne:
      return a != b;
    case CEClause::Op::lt:
      return a < b;
    case CEClause::Op::le:
      return a <= b;
    case CEClause::Op::gt:
      return a > b;
    case CEClause::Op::ge:
      return a >= b;
    case CEClause::Op::match:
      break;
  }
  return false;
}

}  // namespace

CEClause::CEClause(const Sequence* seq, CEClauseOperand lhs, Op op,
                   CEClauseOperand rhs, const std::string& where)
    : d_seq(seq), d_lhs(std::move(lhs)), d_op(op), d_rhs(std::move(rhs)) {
  if (d_op != Op::match) return;
  for (const Constant& c : d_rhs.constants)
    d_patterns.push_back(compile(c.str, where));
}

bool CEClause::op_from_text(const std::string& text, Op& op) {
  static const struct {
    const char* text;
    Op op;
  } kOps[] = {{"=", Op::eq}, {"!=", Op::ne}, {"<", Op::lt},    {"<=", Op::le},
              {">", Op::gt}, {">=", Op::ge}, {"=~", Op::match}};
  for (const auto& o : kOps)
    if (text == o.text) {
      op = o.op;
      return true;
    }
  return false;
}

CEClause::Constant CEClause::field_value(const CEClauseOperand& o,
                                         const Sequence::Row& row) const {
  const BaseType* v = nullptr;
  for (size_t k = 0; k < o.route.size(); ++k) {
    const size_t i = o.route[k];
    if (k == 0) {
      v = i < row.size() ? row[i].get() : nullptr;
    } else {
      const auto* c = dynamic_cast<const Constructor*>(v);
      v = c && i < c->num_var() ? *(c->var_begin() + i) : nullptr;
    }
    if (!v) break;
  }
  Constant c;
  if (!v || !read_scalar(v, c) || c.is_string != o.is_string)
    throw Error(type_mismatch,
                "a row of sequence \"" + d_seq->name() +
                    "\" holds no value of the right type for \"" + o.name +
                    "\"");
  return c;
}

bool CEClause::compare(const Constant& a, const Constant& b,
                       size_t rhs_index) const {
  if (d_op == Op::match) return std::regex_match(a.str, d_patterns[rhs_index]);
  if (a.is_string) return ordered(a.str, b.str, d_op);
  return ordered(a.number, b.number, d_op);
}

const CEClause::Constant* CEClause::values_of(const CEClauseOperand& o,
                                              const Sequence::Row& row,
                                              Constant& held,
                                              size_t& count) const {
  if (!o.is_field) {
    count = o.constants.size();
    return o.constants.data();
  }
  held = field_value(o, row);
  count = 1;
  return &held;
}

bool CEClause::holds(const Sequence::Row& row) const {
  Constant lv, rv;
  size_t nleft = 0, nright = 0;
  const Constant* left = values_of(d_lhs, row, lv, nleft);
  const Constant* right = values_of(d_rhs, row, rv, nright);
  for (size_t i = 0; i < nleft; ++i)
    for (size_t j = 0; j < nright; ++j)
      if (compare(left[i], right[j], j)) return true;
  return false;
}

}  // namespace libqvp
