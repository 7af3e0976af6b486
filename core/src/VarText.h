// Small text helpers shared by the variables' printers. Private to the core
// library.
#ifndef LIBQVP_SRC_VARTEXT_H
#define LIBQVP_SRC_VARTEXT_H

#include <ostream>
#include <string>

namespace libqvp {

class AttrTable;

namespace vartext {

// `in` escaped for XML text and attribute values (AttrTable::xml_escape).
std::string xml_escape(const std::string& in);

// Writes "<indent><Element name="...">\n" (or "<Element>" when `name` is
// null), followed by the attributes of `attrs` one level deeper.
void open_xml(std::ostream& out, const std::string& indent,
              const std::string& element, const std::string* name,
              const AttrTable& attrs);

// Writes "<indent></Element>\n".
void close_xml(std::ostream& out, const std::string& indent,
               const std::string& element);

// Ends a declaration whose name has been written: with `print_semi`, ";",
// " // <comment>" when `comment` is non-empty, and a newline; else nothing.
void end_decl(std::ostream& out, bool print_semi, const std::string& comment);

}  // namespace vartext
}  // namespace libqvp

#endif  // LIBQVP_SRC_VARTEXT_H
