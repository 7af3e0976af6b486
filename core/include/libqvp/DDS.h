// The structure of a data set: its name, its top-level variables and the
// data set's own attributes.
#ifndef LIBQVP_DDS_H
#define LIBQVP_DDS_H

#include <cstdio>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <libqvp/AttrTable.h>
#include <libqvp/BaseType.h>
#include <libqvp/VarIterator.h>

namespace libqvp {

class DAS;

class DDS {
 public:
  explicit DDS(std::string name = "");
  ~DDS();
  DDS(const DDS&) = delete;
  DDS& operator=(const DDS&) = delete;

  const std::string& get_dataset_name() const { return d_name; }
  void set_dataset_name(std::string name) { d_name = std::move(name); }

  // Adopts `v` as the last top-level variable; one of the same name is
  // replaced in place.
  void add_var(std::unique_ptr<BaseType> v);

  // The variable at `path`: a top-level name or a dotted path into
  // structures, sequences and grids; '%' escapes decoded. Null when absent.
  BaseType* var(const std::string& path) const;

  VarIterator var_begin() const { return VarIterator(d_vars.begin()); }
  VarIterator var_end() const { return VarIterator(d_vars.end()); }
  size_t num_var() const { return d_vars.size(); }

  // The data set's own attributes (those of no variable).
  AttrTable& get_attr_table() { return d_attr; }
  const AttrTable& get_attr_table() const { return d_attr; }

  // Selects or deselects every variable and member.
  void mark_all(bool state);

  // The whole structure:
  //   Dataset {
  //       Int32 count;
  //   } demo.nc;
  // Neither form flushes; both write the same bytes.
  void print(FILE* out) const;
  void print(std::ostream& out) const;
  // Only what the last constraint selected, with selected sizes, in
  // declaration order.
  void print_constrained(FILE* out) const;
  void print_constrained(std::ostream& out) const;

  // The XML form (DDX): declaration, <Dataset name=... xmlns=...>, the data
  // set's attributes, each (selected, when `constrained`) variable with its
  // attributes and dimensions, and <dataBLOB href="blob_url"/>. Text and
  // attribute values are XML-escaped.
  void print_xml(FILE* out, bool constrained, const std::string& blob_url) const;
  void print_xml(std::ostream& out, bool constrained,
                 const std::string& blob_url) const;

  // Reads a text form from `in` (left open): sets the data set name and adds
  // the variables (one of an existing name replaces it). Throws
  // Error(malformed_text) with the line number, before anything is added.
  void parse(FILE* in);
  void parse(std::istream& in);
  void parse(const std::string& text);

  // Seconds after which the handler stops the response; 0 for none.
  void set_timeout(int seconds) { d_timeout = seconds; }
  int get_timeout() const { return d_timeout; }

  // Marks each Sequence as leaf (no Sequence among its fields) or not.
  void tag_nested_sequences();

  // Copies each container of `das` onto the variable of the same name
  // (dotted paths reach members) and the rest onto the data set's table.
  void transfer_attributes(const DAS& das);

 private:
  std::string d_name;
  std::vector<std::unique_ptr<BaseType>> d_vars;
  AttrTable d_attr;
  int d_timeout = 0;
};

}  // namespace libqvp

#endif  // LIBQVP_DDS_H
