// A parsed constraint expression resolved against a DDS and checked: what to
// select, which hyperslabs to set, the function call and the selection
// clauses. Building a plan changes nothing, so a bad expression is refused
// before the DDS is touched; applying a checked plan cannot fail halfway.
#ifndef LIBQVP_CEPLAN_H
#define LIBQVP_CEPLAN_H

#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DDS.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CEClause.h"
#include "CEParser.h"

namespace libqvp {

// A variable named in the projection or as a function argument, with the
// hyperslabs given to it (already checked against its dimensions).
struct CETarget {
  BaseType* var = nullptr;
  std::vector<CEHyperslab> slabs;
  bool select = true;  // false for a function argument
};

struct CEPlan {
  std::vector<CETarget> targets;
  bool select_all = false;  // empty projection
  bool functional = false;
  ConstraintEvaluator::Function function;
  std::vector<BaseType*> args;  // DDS variables or members of `constants`
  std::vector<std::unique_ptr<BaseType>> constants;
  std::vector<CEClause> clauses;
};

using CEFunctions = std::map<std::string, ConstraintEvaluator::Function>;

// Resolves and checks `ast` (parsed from `expr`) against `dds`. Throws
// Error(no_such_variable, no_such_function, bad_hyperslab, type_mismatch,
// malformed_expr) with the position in `expr`; changes nothing.
CEPlan make_plan(const std::string& expr, const CEExpr& ast, const DDS& dds,
                 const CEFunctions& functions);

// Sets the selection flags and hyperslabs of `plan` on `dds`, which must be
// the DDS it was made for, freshly reset.
void apply_plan(const CEPlan& plan, DDS& dds);

// Deselects every variable and selects every element of every array again.
void reset_selection(DDS& dds);

// The variable that `path` names by the path rule of DDS::var (each name
// %-decoded, an escaped dot cutting as a dot does), or
// Error(no_such_variable) naming the path and its position;
// Error(malformed_expr) when the decoded path has more than kMaxPathNames
// names.
BaseType* resolve_path(const std::string& expr, const CEPath& path,
                       const DDS& dds);

// The clause `ast` resolved against `dds`; its patterns are taken from
// `patterns_left` (Error(malformed_expr) when too few are left). Throws as
// make_plan does.
CEClause make_clause(const std::string& expr, const CEClauseAst& ast,
                     const DDS& dds, size_t& patterns_left);

}  // namespace libqvp

#endif  // LIBQVP_CEPLAN_H
