// Constraint expressions: projections with hyperslabs, selection clauses that
// filter sequence rows, and server-side function calls.
#ifndef LIBQVP_CONSTRAINTEVALUATOR_H
#define LIBQVP_CONSTRAINTEVALUATOR_H

#include <libqvp/BaseType.h>
#include <libqvp/Sequence.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace libqvp {

class DDS;

class ConstraintEvaluator {
 public:
  // A server-side function. `args` are the call's arguments: variables of the
  // DDS, or constants (Float64 for numbers, Str for strings) owned by the
  // evaluator. Returns the new variable, or null for no result. Throws
  // Error(type_mismatch) for arguments of the wrong kind.
  using Function = std::function<std::unique_ptr<BaseType>(
      const std::vector<BaseType*>& args, DDS& dds,
      const std::string& dataset)>;

  // Registers the built-in functions version() and linear_scale().
  ConstraintEvaluator();
  ~ConstraintEvaluator();

  // Registers (or replaces) the function `name`.
  void add_function(const std::string& name, Function fn);

  // Clears the selection of `dds` and applies `expr`. An empty projection
  // selects every variable. Throws Error (malformed_expr, no_such_variable,
  // no_such_function, bad_hyperslab, type_mismatch) naming the offending text
  // and its position; then nothing in `dds` is selected and no clause or
  // function call is kept.
  void parse_constraint(const std::string& expr, DDS& dds);

  // True when the last parsed projection is a single function call.
  bool functional_expression() const;

  // Calls the function of the last projection. Returns a new variable,
  // selected whole (send_p), that the caller deletes, or null when the
  // function gave none. Throws Error from the function (argument types) or
  // when there is no function call.
  BaseType* eval_function(DDS& dds, const std::string& dataset);

  // True when `row` of `seq` satisfies every selection clause that names a
  // field of `seq` (other clauses are not consulted here).
  bool eval_selection(const Sequence& seq, const Sequence::Row& row) const;

  // True when the last constraint had selection clauses.
  bool has_selection() const;

 private:
  struct State;
  std::map<std::string, Function> d_functions;
  std::unique_ptr<State> d_state;
};

}  // namespace libqvp

#endif  // LIBQVP_CONSTRAINTEVALUATOR_H
