// The constraint evaluator: parses an expression (CEParser), resolves and
// checks it against the DDS (CEPlan), and only then changes the DDS, so a
// refused expression leaves nothing selected and nothing kept.
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>

#include "CEParser.h"
#include "CEPlan.h"
#include "Functions.h"

namespace libqvp {

struct ConstraintEvaluator::State {
  CEPlan plan;
};

ConstraintEvaluator::ConstraintEvaluator()
    : d_state(std::make_unique<State>()) {
  add_function("version", function_version);
  add_function("linear_scale", function_linear_scale);
}

ConstraintEvaluator::~ConstraintEvaluator() = default;

void ConstraintEvaluator::add_function(const std::string& name, Function fn) {
  d_functions[name] = std::move(fn);
}

void ConstraintEvaluator::parse_constraint(const std::string& expr, DDS& dds) {
  d_state = std::make_unique<State>();
  reset_selection(dds);
  CEPlan plan = make_plan(expr, CEParser(expr).parse(), dds, d_functions);
  try {
    apply_plan(plan, dds);
  } catch (...) {  // a checked plan should not fail; if it does, undo it all
    reset_selection(dds);
    throw;
  }
  d_state->plan = std::move(plan);
}

bool ConstraintEvaluator::functional_expression() const {
  return d_state->plan.functional;
}

BaseType* ConstraintEvaluator::eval_function(DDS& dds,
                                             const std::string& dataset) {
  const CEPlan& plan = d_state->plan;
  if (!plan.functional)
    throw Error(malformed_expr, "the constraint calls no function");
  std::unique_ptr<BaseType> result = plan.function(plan.args, dds, dataset);
  // The response prints and sends only what is selected: all of the result.
  if (result) result->set_send_p(true);
  return result.release();
}

bool ConstraintEvaluator::eval_selection(const Sequence& seq,
                                         const Sequence::Row& row) const {
  for (const CEClause& c : d_state->plan.clauses)
    if (c.sequence() == &seq && !c.holds(row)) return false;
  return true;
}

bool ConstraintEvaluator::has_selection() const {
  return !d_state->plan.clauses.empty();
}

}  // namespace libqvp
