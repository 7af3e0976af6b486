// Text helpers shared by the variables' printers.
#include "VarText.h"

#include <libqvp/AttrTable.h>

namespace libqvp {
namespace vartext {

std::string xml_escape(const std::string& in) {
  return AttrTable::xml_escape(in);
}

void open_xml(std::ostream& out, const std::string& indent,
              const std::string& element, const std::string* name,
              const AttrTable& attrs) {
  out << indent << '<' << element;
  if (name) out << " name=\"" << xml_escape(*name) << '"';
  out << ">\n";
  attrs.print_xml(out, indent + "    ");
}

void close_xml(std::ostream& out, const std::string& indent,
               const std::string& element) {
  out << indent << "</" << element << ">\n";
}

void end_decl(std::ostream& out, bool print_semi, const std::string& comment) {
  if (!print_semi) return;
  out << ';';
  if (!comment.empty()) out << " // " << comment;
  out << '\n';
}

}  // namespace vartext
}  // namespace libqvp
