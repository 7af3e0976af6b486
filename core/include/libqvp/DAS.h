// The attributes of a data set: one container per variable plus global ones.
#ifndef LIBQVP_DAS_H
#define LIBQVP_DAS_H

#include <libqvp/AttrTable.h>

#include <cstdio>
#include <istream>
#include <ostream>
#include <string>

namespace libqvp {

class DAS {
 public:
  DAS() = default;

  // The top-level table; its entries are the containers.
  AttrTable& get_top_level() { return d_top; }
  const AttrTable& get_top_level() const { return d_top; }

  // The container `name`; null when absent.
  AttrTable* get_table(const std::string& name) const;
  // The container `name`, created when absent.
  AttrTable* add_table(const std::string& name);

  // Writes the text form:
  //   Attributes {
  //       sst {
  //           String units "degC";
  //       }
  //   }
  // Values of String and Url attributes are quoted, with '"' and '\'
  // escaped; several values are separated by ", "; names are escaped with
  // id2www. `dereference` is accepted for compatibility and has no effect.
  // Neither form flushes; both write the same bytes. The FILE* form throws
  // Error(write_error) when fwrite fails.
  void print(FILE* out, bool dereference = false) const;
  void print(std::ostream& out, bool dereference = false) const;

  // Reads a text form from `in` (left open) and adds what it describes;
  // containers that exist are extended, values of attributes that exist
  // appended. Type names and the keyword are taken in any case; '#' starts
  // a comment; text of blanks and comments alone adds nothing. Throws
  // Error(malformed_text, "line N: ...") for text that does not parse (an
  // unknown type, a value that does not fit its type, containers nested
  // more than 64 deep, input over 16 MiB), or Error(type_mismatch) when an
  // attribute exists with another type; nothing is added then.
  void parse(FILE* in);
  void parse(std::istream& in);
  void parse(const std::string& text);

 private:
  AttrTable d_top;
};

}  // namespace libqvp

#endif  // LIBQVP_DAS_H
