// The abstract base of every variable of the data model: its name, type,
// selection state, attributes, declaration text and serialisation.
#ifndef LIBQVP_BASETYPE_H
#define LIBQVP_BASETYPE_H

#include <libqvp/AttrTable.h>
#include <libqvp/Type.h>

#include <cstdio>
#include <ostream>
#include <string>

namespace libqvp {

class ConstraintEvaluator;
class DDS;
class Marshaller;

class BaseType {
 public:
  BaseType(std::string name, Type type);
  virtual ~BaseType();
  BaseType(const BaseType&) = delete;
  BaseType& operator=(const BaseType&) = delete;

  const std::string& name() const { return d_name; }
  void set_name(std::string name) { d_name = std::move(name); }
  Type type() const { return d_type; }
  std::string type_name() const { return libqvp::type_name(d_type); }
  bool is_simple_type() const { return libqvp::is_simple_type(d_type); }

  // The enclosing Structure, Sequence, Grid or Array (for an element
  // prototype); null at the top level. Set by the container that adopts it.
  BaseType* get_parent() const { return d_parent; }
  void set_parent(BaseType* parent) { d_parent = parent; }

  // Whether the last constraint selected this variable for sending. A
  // container's set_send_p(state) also sets every member to `state`.
  virtual bool send_p() const { return d_send_p; }
  virtual void set_send_p(bool state) { d_send_p = state; }

  AttrTable& get_attr_table() { return d_attr; }
  const AttrTable& get_attr_table() const { return d_attr; }

  // The handler's hook for loading values lazily: called once, before the
  // values are first needed (serialize, a selection, a function). Returns
  // true when it loaded values. The default loads nothing.
  virtual bool read();
  bool read_p() const { return d_read_p; }
  void set_read_p(bool state) { d_read_p = state; }
  // Calls read() unless read_p(); then sets read_p().
  void read_once();

  // Writes the declaration, each line starting with `space`:
  //   "<space>Int32 count;\n"
  // `print_semi` ends it with ";" and a newline (else the name ends it);
  // `constraint_info` appends a comment with the selection state;
  // `constrained` prints only what is selected, with the selected sizes
  // (nothing at all when this variable is not selected). The FILE* form
  // writes the same bytes as the stream form; neither flushes.
  void print_decl(FILE* out, const std::string& space = "    ",
                  bool print_semi = true, bool constraint_info = false,
                  bool constrained = false) const;
  virtual void print_decl(std::ostream& out, const std::string& space = "    ",
                          bool print_semi = true, bool constraint_info = false,
                          bool constrained = false) const;

  // Writes the selected values through `m` in XDR order (read_once() first).
  // `ce_eval` says whether `eval`'s selection clauses filter sequence rows.
  // Throws Error from read() or a failed write. Returns true.
  virtual bool serialize(const std::string& dataset, ConstraintEvaluator& eval,
                         DDS& dds, Marshaller& m, bool ce_eval = true) = 0;

  // Writes the element of the XML form (DDX) for this variable, indented
  // by `indent`: attributes, dimensions, members; see DDS::print_xml.
  virtual void print_xml(std::ostream& out, const std::string& indent,
                         bool constrained) const;

 protected:
  // The name as the text form writes it (escaped with id2www).
  std::string www_name() const;

  // The comment that print_decl's `constraint_info` appends: "selected" or
  // "not selected" (arrays add their hyperslabs).
  virtual std::string constraint_comment() const;

 private:
  std::string d_name;
  Type d_type;
  BaseType* d_parent = nullptr;
  bool d_send_p = false;
  bool d_read_p = false;
  AttrTable d_attr;
};

}  // namespace libqvp

#endif  // LIBQVP_BASETYPE_H
