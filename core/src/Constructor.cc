// Variables that own members: adoption, lookup by name or dotted path,
// selection of the whole tree, and the nested declaration and XML forms.
#include <libqvp/Constructor.h>
#include <libqvp/Error.h>
#include <libqvp/Grid.h>

#include "VarText.h"

namespace libqvp {

Constructor::~Constructor() = default;

void Constructor::add_var(std::unique_ptr<BaseType> v) {
  if (!v) throw Error(internal_error, "add_var: null variable");
  v->set_parent(this);
  for (auto& existing : d_vars) {
    if (existing->name() == v->name()) {
      existing = std::move(v);
      return;
    }
  }
  d_vars.push_back(std::move(v));
}

// A member's own name may contain dots, so the whole name is tried first.
BaseType* Constructor::var(const std::string& name) const {
  for (const auto& v : d_vars)
    if (v->name() == name) return v.get();
  for (size_t dot = name.find('.'); dot != std::string::npos;
       dot = name.find('.', dot + 1)) {
    const std::string head = name.substr(0, dot);
    const std::string rest = name.substr(dot + 1);
    for (const auto& v : d_vars) {
      if (v->name() != head) continue;
      if (auto* c = dynamic_cast<const Constructor*>(v.get()))
        if (BaseType* found = c->var(rest)) return found;
      if (auto* g = dynamic_cast<const Grid*>(v.get()))
        if (BaseType* found = g->member(rest)) return found;
    }
  }
  return nullptr;
}

bool Constructor::send_p() const {
  if (BaseType::send_p()) return true;
  for (const auto& v : d_vars)
    if (v->send_p()) return true;
  return false;
}

void Constructor::set_send_p(bool state) {
  BaseType::set_send_p(state);
  for (auto& v : d_vars) v->set_send_p(state);
}

void Constructor::print_decl(std::ostream& out, const std::string& space,
                             bool print_semi, bool constraint_info,
                             bool constrained) const {
  if (constrained && !send_p()) return;
  out << space << type_name() << " {\n";
  for (const auto& v : d_vars)
    v->print_decl(out, space + "    ", true, constraint_info, constrained);
  out << space << "} " << www_name();
  vartext::end_decl(out, print_semi,
                    constraint_info ? constraint_comment() : std::string());
}

void Constructor::print_xml(std::ostream& out, const std::string& indent,
                            bool constrained) const {
  if (constrained && !send_p()) return;
  vartext::open_xml(out, indent, type_name(), &name(), *this);
  for (const auto& v : d_vars) v->print_xml(out, indent + "    ", constrained);
  vartext::close_xml(out, indent, type_name());
}

}  // namespace libqvp
