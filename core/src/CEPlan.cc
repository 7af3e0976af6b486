// Resolution of a constraint's projection against a DDS, the checks of its
// hyperslabs, and the application of the checked result.
#include "CEPlan.h"

#include <libqvp/Array.h>
#include <libqvp/Constructor.h>
#include <libqvp/Error.h>
#include <libqvp/Float64.h>
#include <libqvp/Grid.h>
#include <libqvp/Str.h>
#include <libqvp/escaping.h>

#include "CELexer.h"
#include "VarTree.h"

namespace libqvp {
namespace {

void check_dim(const std::string& expr, const CEHyperslab& h,
               const std::string& name, size_t dim, int size) {
  const std::string what = "hyperslab " + h.text + " of \"" + name + "\"";
  if (h.stride < 1)
    CELexer::fail(expr, bad_hyperslab, h.pos, what + " has a zero stride");
  if (h.stop < h.start)
    CELexer::fail(expr, bad_hyperslab, h.pos, what + " stops before it starts");
  if (h.stop >= size)
    CELexer::fail(expr, bad_hyperslab, h.pos,
                  what + " is out of range: dimension " + std::to_string(dim) +
                      " has " + std::to_string(size) + " elements");
}

void check_array(const std::string& expr, const CEPath& p, const Array& a) {
  if (p.slabs.size() > a.dimensions())
    CELexer::fail(expr, bad_hyperslab, p.slabs[a.dimensions()].pos,
                  "hyperslab " + p.slabs[a.dimensions()].text + " of \"" +
                      p.text + "\": it has " + std::to_string(a.dimensions()) +
                      " dimension(s)");
  for (size_t d = 0; d < p.slabs.size(); ++d)
    check_dim(expr, p.slabs[d], p.text, d, a.dims()[d].size);
}

// Checks the hyperslabs of `p` against `v`: an Array, or a Grid whose array
// and maps they constrain.
void check_slabs(const std::string& expr, const CEPath& p, const BaseType* v) {
  if (p.slabs.empty()) return;
  if (const auto* a = dynamic_cast<const Array*>(v))
    return check_array(expr, p, *a);
  const auto* g = dynamic_cast<const Grid*>(v);
  if (!g || !g->array())
    CELexer::fail(expr, bad_hyperslab, p.slabs[0].pos,
                  "hyperslab " + p.slabs[0].text + " given to \"" + p.text +
                      "\", which is not an array");
  check_array(expr, p, *g->array());
  for (size_t d = 0; d < p.slabs.size() && d < g->map_count(); ++d) {
    const Array* m = g->map(d);
    if (m->dimensions() > 0)
      check_dim(expr, p.slabs[d], p.text + "." + m->name(), 0,
                m->dims()[0].size);
  }
}

void apply_slabs(const CETarget& t) {
  auto set = [](Array* a, size_t dim, const CEHyperslab& h) {
    a->add_constraint(dim, static_cast<int>(h.start),
                      static_cast<int>(h.stride), static_cast<int>(h.stop));
  };
  if (auto* a = dynamic_cast<Array*>(t.var)) {
    for (size_t d = 0; d < t.slabs.size(); ++d) set(a, d, t.slabs[d]);
  } else if (auto* g = dynamic_cast<Grid*>(t.var)) {
    for (size_t d = 0; d < t.slabs.size(); ++d) {
      set(g->array(), d, t.slabs[d]);
      if (d < g->map_count() && g->map(d)->dimensions() > 0)
        set(g->map(d), 0, t.slabs[d]);
    }
  }
}

// Selects `v` with all it holds, and its enclosing variables without their
// other members.
void select(BaseType* v) {
  v->set_send_p(true);
  for (BaseType* p = v->get_parent(); p; p = p->get_parent())
    p->BaseType::set_send_p(true);
}

void reset_var(BaseType* v) {
  if (auto* a = dynamic_cast<Array*>(v)) {
    a->reset_constraint();
  } else if (auto* c = dynamic_cast<Constructor*>(v)) {
    for (auto it = c->var_begin(); it != c->var_end(); ++it) reset_var(*it);
  } else if (auto* g = dynamic_cast<Grid*>(v)) {
    if (g->array()) g->array()->reset_constraint();
    for (size_t i = 0; i < g->map_count(); ++i) g->map(i)->reset_constraint();
  }
}

void plan_call(const std::string& expr, const CECall& call, const DDS& dds,
               const CEFunctions& functions, CEPlan& plan) {
  const auto fn = functions.find(www2id(call.name));
  if (fn == functions.end())
    CELexer::fail(expr, no_such_function, call.pos,
                  "no such function: \"" + call.name + "\"");
  plan.functional = true;
  plan.function = fn->second;
  for (const CEValue& a : call.args) {
    if (a.kind == CEValue::Kind::path) {
      BaseType* v = resolve_path(expr, a.path, dds);
      check_slabs(expr, a.path, v);
      if (!a.path.slabs.empty())
        plan.targets.push_back({v, a.path.slabs, false});
      plan.args.push_back(v);
      continue;
    }
    if (a.kind == CEValue::Kind::number) {
      auto f = std::make_unique<Float64>(a.str);
      f->set_value(a.number);
      plan.constants.push_back(std::move(f));
    } else {
      auto s = std::make_unique<Str>(a.str);
      s->set_value(a.str);
      plan.constants.push_back(std::move(s));
    }
    plan.args.push_back(plan.constants.back().get());
  }
}

}  // namespace

BaseType* resolve_path(const std::string& expr, const CEPath& path,
                       const DDS& dds) {
  // Each name decoded, then cut at the dots it held escaped, so that the
  // names are those DDS::var would cut the decoded path into.
  std::vector<std::string> names;
  for (const std::string& escaped : path.names)
    for (std::string& n : vartree::split_path(www2id(escaped)))
      names.push_back(std::move(n));
  // The parser's bound, which escaped dots would otherwise get around.
  if (names.size() > kMaxPathNames)
    CELexer::fail(
        expr, malformed_expr, path.pos,
        "path longer than " + std::to_string(kMaxPathNames) + " names");
  BaseType* v = vartree::find_var(dds.var_begin(), dds.var_end(), names);
  if (!v)
    CELexer::fail(expr, no_such_variable, path.pos,
                  "no such variable: \"" + path.text + "\"");
  return v;
}

CEPlan make_plan(const std::string& expr, const CEExpr& ast, const DDS& dds,
                 const CEFunctions& functions) {
  CEPlan plan;
  for (const CEItem& it : ast.items) {
    if (it.is_call && ast.items.size() > 1)
      CELexer::fail(expr, malformed_expr, it.call.pos,
                    "function call \"" + it.call.name +
                        "\" cannot be combined with other projection items");
    if (it.is_call) {
      plan_call(expr, it.call, dds, functions, plan);
      continue;
    }
    BaseType* v = resolve_path(expr, it.path, dds);
    check_slabs(expr, it.path, v);
    plan.targets.push_back({v, it.path.slabs, true});
  }
  plan.select_all = ast.items.empty();
  size_t patterns_left = kMaxPatterns;
  for (const CEClauseAst& c : ast.clauses)
    plan.clauses.push_back(make_clause(expr, c, dds, patterns_left));
  return plan;
}

void apply_plan(const CEPlan& plan, DDS& dds) {
  if (plan.select_all) dds.mark_all(true);
  for (const CETarget& t : plan.targets) {
    apply_slabs(t);
    if (t.select) select(t.var);
  }
}

void reset_selection(DDS& dds) {
  dds.mark_all(false);
  for (auto it = dds.var_begin(); it != dds.var_end(); ++it) reset_var(*it);
}

}  // namespace libqvp
