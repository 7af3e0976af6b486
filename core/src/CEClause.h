// A selection clause resolved against a DDS: it compares fields of one
// Sequence's rows with constants or with other fields of the same rows.
#ifndef LIBQVP_CECLAUSE_H
#define LIBQVP_CECLAUSE_H

#include <libqvp/Sequence.h>

#include <cstddef>
#include <regex>
#include <string>
#include <vector>

#include "ScalarValue.h"

namespace libqvp {

// One side of a clause: a field of the clause's sequence, or constants (a
// list holds the clause when any of its values does).
struct CEClauseOperand {
  using Constant = ScalarValue;
  bool is_field = false;
  bool is_string = false;     // strings (String, Url fields) vs numbers
  std::vector<size_t> route;  // field: member indices from the row down
  std::string name;           // field: the path, for messages
  std::vector<Constant> constants;
};

class CEClause {
 public:
  enum class Op { eq, ne, lt, le, gt, ge, match };

  // Requires: every field operand is a scalar field of `seq` (directly or
  // inside Structures of it); `op` is not Op::match unless `rhs` holds string
  // constants only. Throws Error(malformed_expr) for a pattern that does not
  // compile or is too costly, Error(type_mismatch) for operands that cannot
  // be compared.
  CEClause(const Sequence* seq, CEClauseOperand lhs, Op op, CEClauseOperand rhs,
           const std::string& where);

  const Sequence* sequence() const { return d_seq; }

  // True when the clause holds for `row`. Throws Error(type_mismatch) when
  // the row does not hold the fields the clause names.
  bool holds(const Sequence::Row& row) const;

  // The operator that `text` spells; false for none.
  static bool op_from_text(const std::string& text, Op& op);

 private:
  using Constant = CEClauseOperand::Constant;
  Constant field_value(const CEClauseOperand& o,
                       const Sequence::Row& row) const;
  // The `count` values that `o` stands for in `row`: its constants, or the
  // row's field value, which is kept in `held`.
  const Constant* values_of(const CEClauseOperand& o, const Sequence::Row& row,
                            Constant& held, size_t& count) const;
  bool compare(const Constant& a, const Constant& b, size_t rhs_index) const;

  const Sequence* d_seq;
  CEClauseOperand d_lhs;
  Op d_op;
  CEClauseOperand d_rhs;
  std::vector<std::regex> d_patterns;  // Op::match: one per rhs constant
};

// Bounds on regular expressions: pattern length and repetition counts.
constexpr size_t kMaxPatternBytes = 256;
constexpr size_t kMaxPatterns = 64;  // in one expression
constexpr int kMaxRepeatCount = 64;

}  // namespace libqvp

#endif  // LIBQVP_CECLAUSE_H
