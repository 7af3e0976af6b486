// Variables that own members: adoption, lookup by name or dotted path,
// selection of the whole tree, and the nested declaration and XML forms.
#include <libqvp/Constructor.h>

#include "VarText.h"
#include "VarTree.h"

namespace libqvp {

Constructor::~Constructor() = default;

void Constructor::add_var(std::unique_ptr<BaseType> v) {
  vartree::adopt(d_vars, std::move(v), this);
}

BaseType* Constructor::var(const std::string& name) const {
  return vartree::find_var(var_begin(), var_end(), vartree::split_path(name));
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
  vartext::open_xml(out, indent, type_name(), &name(), get_attr_table());
  for (const auto& v : d_vars) v->print_xml(out, indent + "    ", constrained);
  vartext::close_xml(out, indent, type_name());
}

}  // namespace libqvp
