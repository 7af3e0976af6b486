// The attributes of a data set: one container per variable plus global ones.
#ifndef LIBQVP_DAS_H
#define LIBQVP_DAS_H

#include <cstdio>
#include <istream>
#include <ostream>
#include <string>

#include <libqvp/AttrTable.h>

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
  // `dereference` is accepted for compatibility and has no effect. Neither
  // form flushes; both write the same bytes.
  void print(FILE* out, bool dereference = false) const;
  void print(std::ostream& out, bool dereference = false) const;

  // Reads a text form from `in` (left open) and adds what it describes;
  // containers that exist are extended. Throws Error(malformed_text) with
  // the line number, before anything is added.
  void parse(FILE* in);
  void parse(std::istream& in);
  void parse(const std::string& text);

 private:
  AttrTable d_top;
};

}  // namespace libqvp

#endif  // LIBQVP_DAS_H
