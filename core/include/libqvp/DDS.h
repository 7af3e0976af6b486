// The structure of a data set: its name, its top-level variables and the
// data set's own attributes.
#ifndef LIBQVP_DDS_H
#define LIBQVP_DDS_H

#include <libqvp/AttrTable.h>
#include <libqvp/BaseType.h>
#include <libqvp/VarIterator.h>

#include <cstdio>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

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
  // replaced in place (and destroyed). Throws Error(internal_error) for null.
  void add_var(std::unique_ptr<BaseType> v);

  // The variable at `path`, or null when none. The path rule, which the
  // constraint expressions follow too (so a projection selects what var()
  // returns for the same path), and Constructor::var as well (without the
  // decoding):
  // - `path` is %-decoded, then cut at every '.' into names: an escaped dot
  //   ("a%2Eb") is a dot like any other, as URLs treat the two as one;
  // - a path goes into Structures and Sequences (their members) and Grids
  //   (their array and maps);
  // - since a name may itself hold dots, at each level the longest run of
  //   names that, joined by '.', names a variable is taken first, and a
  //   shorter run only when the rest of the path is not found below it.
  // So with a variable "a.b" beside a Structure "a" holding "b", "a.b" (and
  // "a%2Eb") names the variable "a.b", and "b" of "a" only when there is no
  // variable "a.b"; "a.b.c" names the variable "a.b.c" if there is one,
  // else "c" of "a.b", else "b.c" of "a", else "c" of "b" of "a".
  BaseType* var(const std::string& path) const;

  VarIterator var_begin() const { return VarIterator(d_vars.begin()); }
  VarIterator var_end() const { return VarIterator(d_vars.end()); }
  size_t num_var() const { return d_vars.size(); }

  // The data set's own attributes (those of no variable).
  AttrTable& get_attr_table() { return d_attr; }
  const AttrTable& get_attr_table() const { return d_attr; }

  // Selects or deselects every variable and member.
  void mark_all(bool state);

  // The whole structure, each variable by its print_decl:
  //   Dataset {
  //       Int32 count;
  //   } demo.nc;
  // Neither form flushes; both write the same bytes. The FILE* forms throw
  // Error(write_error) when fwrite fails.
  void print(FILE* out) const;
  void print(std::ostream& out) const;
  // Only what the last constraint selected, with selected sizes, in
  // declaration order.
  void print_constrained(FILE* out) const;
  void print_constrained(std::ostream& out) const;

  // The XML form (DDX):
  //   <?xml version="1.0" encoding="UTF-8"?>
  //   <Dataset name="demo.nc" xmlns="http://xml.libqvp.org/ns/qvp/3.2#">
  //       <Attribute ...>...</Attribute>      the data set's attributes
  //       <Int32 name="count">...</Int32>      each variable's print_xml
  //       <dataBLOB href="blob_url"/>
  //   </Dataset>
  // With `constrained` only the selected variables. Text and attribute
  // values are XML-escaped (AttrTable::xml_escape).
  void print_xml(FILE* out, bool constrained,
                 const std::string& blob_url) const;
  void print_xml(std::ostream& out, bool constrained,
                 const std::string& blob_url) const;

  // Reads a text form from `in` (left open): sets the data set name (kept
  // when the text gives none) and adds the variables (one of an existing
  // name replaces it). Keywords and type names are taken in any case; '#'
  // starts a comment; text of blanks and comments alone adds nothing.
  // Throws Error(malformed_text, "line N: ...") naming the offending text,
  // also for duplicate names, nesting deeper than 64, more than 4096
  // members in a Structure or Sequence, more than 64 dimensions, arrays of
  // more than 2^32 - 1 elements and input over 16 MiB; nothing is added
  // then.
  void parse(FILE* in);
  void parse(std::istream& in);
  void parse(const std::string& text);

  // Seconds after which the handler stops the response; 0 for none.
  void set_timeout(int seconds) { d_timeout = seconds; }
  int get_timeout() const { return d_timeout; }

  // Marks each Sequence as leaf (no Sequence among its fields) or not.
  void tag_nested_sequences();

  // Merges each container of `das` into the attribute table of the variable
  // of the same name (dotted paths reach members); other containers (such
  // as NC_GLOBAL) become containers of the data set's table, and top-level
  // attributes its attributes. Throws Error(type_mismatch) when an attribute
  // exists with another type; nothing changes then.
  void transfer_attributes(const DAS& das);

 private:
  // The variable at `path` (already decoded) by var()'s rule; null when
  // absent.
  BaseType* find(const std::string& path) const;
  void print_vars(std::ostream& out, bool constrained) const;

  std::string d_name;
  std::vector<std::unique_ptr<BaseType>> d_vars;
  AttrTable d_attr;
  int d_timeout = 0;
};

}  // namespace libqvp

#endif  // LIBQVP_DDS_H
