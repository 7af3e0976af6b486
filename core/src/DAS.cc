// The DAS: its text printer and its all-or-nothing parse.
#include <libqvp/DAS.h>
#include <libqvp/Error.h>
#include <libqvp/write_all.h>

#include <sstream>

#include "DASParser.h"
#include "TextLexer.h"

namespace libqvp {

AttrTable* DAS::get_table(const std::string& name) const {
  return d_top.find_container(name);
}

AttrTable* DAS::add_table(const std::string& name) {
  return d_top.append_container(name);
}

void DAS::print(std::ostream& out, bool) const {
  out << "Attributes {\n";
  d_top.print(out, "    ");
  out << "}\n";
}

void DAS::print(FILE* out, bool dereference) const {
  std::ostringstream text;
  print(text, dereference);
  write_all(out, text.str());
}

void DAS::parse(const std::string& text) {
  AttrTable parsed;
  DASParser(text).parse(parsed);
  d_top.merge(parsed);  // all or nothing
}

void DAS::parse(FILE* in) { parse(TextLexer::read_all(in)); }

void DAS::parse(std::istream& in) { parse(TextLexer::read_all(in)); }

}  // namespace libqvp
