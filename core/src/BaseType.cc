// The parts of every variable that do not depend on its type: the read hook,
// the FILE* form of the declaration and the XML element of a scalar.
#include <libqvp/BaseType.h>
#include <libqvp/escaping.h>
#include <libqvp/write_all.h>

#include <sstream>
#include <utility>

#include "VarText.h"

namespace libqvp {

BaseType::BaseType(std::string name, Type type)
    : d_name(std::move(name)), d_type(type) {}

BaseType::~BaseType() = default;

bool BaseType::read() { return false; }

void BaseType::read_once() {
  if (d_read_p) return;
  read();
  d_read_p = true;
}

std::string BaseType::www_name() const { return id2www(d_name); }

std::string BaseType::constraint_comment() const {
  return send_p() ? "selected" : "not selected";
}

void BaseType::print_decl(FILE* out, const std::string& space, bool print_semi,
                          bool constraint_info, bool constrained) const {
  std::ostringstream text;
  print_decl(text, space, print_semi, constraint_info, constrained);
  write_all(out, text.str());
}

// The scalar form; containers and arrays override it.
void BaseType::print_decl(std::ostream& out, const std::string& space,
                          bool print_semi, bool constraint_info,
                          bool constrained) const {
  if (constrained && !send_p()) return;
  out << space << type_name() << ' ' << www_name();
  vartext::end_decl(out, print_semi,
                    constraint_info ? constraint_comment() : std::string());
}

// The scalar form: <Int32 name="count"/>, or with its attributes inside.
void BaseType::print_xml(std::ostream& out, const std::string& indent,
                         bool constrained) const {
  if (constrained && !send_p()) return;
  if (get_attr_table().empty()) {
    out << indent << '<' << type_name() << " name=\""
        << vartext::xml_escape(name()) << "\"/>\n";
    return;
  }
  vartext::open_xml(out, indent, type_name(), &name(), get_attr_table());
  vartext::close_xml(out, indent, type_name());
}

}  // namespace libqvp
