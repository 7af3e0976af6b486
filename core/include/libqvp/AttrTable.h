// An ordered table of attributes (name, type, values) and nested containers.
#ifndef LIBQVP_ATTRTABLE_H
#define LIBQVP_ATTRTABLE_H

#include <memory>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

namespace libqvp {

class AttrTable {
 public:
  // An attribute (type is a scalar type name: "Byte" ... "Float64",
  // "String", "Url"; values kept as text, strings unquoted) or a container
  // (type "Container", `table` set, no values).
  struct Entry {
    std::string name;
    std::string type;
    std::vector<std::string> values;
    std::unique_ptr<AttrTable> table;
    bool is_container() const { return table != nullptr; }
  };

  AttrTable() = default;
  AttrTable(const AttrTable& other);  // deep copy
  AttrTable& operator=(const AttrTable& other);
  AttrTable(AttrTable&& other) noexcept = default;
  AttrTable& operator=(AttrTable&& other) noexcept = default;
  ~AttrTable();

  // Appends `value` to the attribute `name`, creating it with `type` when it
  // is new. Throws Error(type_mismatch) when `type` is not a scalar type
  // name, the value does not fit the type (an integer out of range, a
  // malformed number), or `name` exists with another type or as a container;
  // nothing changes then. Type names are matched ignoring case and stored in
  // their canonical spelling.
  void append_attr(const std::string& name, const std::string& type,
                   const std::string& value);

  // The container `name`, created when absent. Throws Error(type_mismatch)
  // when `name` is an attribute.
  AttrTable* append_container(const std::string& name);

  // The entry or container named `name`; null when absent.
  const Entry* find(const std::string& name) const;
  AttrTable* find_container(const std::string& name) const;

  // Adds every entry of `other`: new ones appended, values of attributes
  // that exist appended, containers merged recursively. Throws
  // Error(type_mismatch) when an entry exists with another type or kind;
  // nothing changes then.
  void merge(const AttrTable& other);

  const std::vector<Entry>& entries() const { return d_entries; }
  bool empty() const { return d_entries.empty(); }
  size_t size() const { return d_entries.size(); }

  // The entries in the DAS text form, each line starting with `indent`:
  //   <indent>String units "degC";
  //   <indent>name {  ...members at indent + four blanks...  <indent>}
  void print(std::ostream& out, const std::string& indent) const;

  // The entries as XML <Attribute> elements (containers nested, one <value>
  // per value, text XML-escaped), each line starting with `indent`:
  //   <indent><Attribute name="units" type="String">
  //   <indent>    <value>degC</value>
  //   <indent></Attribute>
  // A container is <Attribute name="x" type="Container"> with its entries at
  // `indent` plus four blanks.
  void print_xml(std::ostream& out, const std::string& indent) const;

  // `text` made safe as XML character data or an attribute value: & < > " '
  // written as entities, tab, LF and CR as character references, other
  // control bytes as U+FFFD, and each byte that is not part of valid UTF-8 as
  // the character of the same code (read as Latin-1). Never throws.
  static std::string xml_escape(const std::string& text);

 private:
  Entry* find_entry(const std::string& name);
  // Appends to `this` without the all-or-nothing copy; may stop half-way.
  void merge_in_place(const AttrTable& other);
  void print_entry(std::ostream& out, const Entry& e,
                   const std::string& indent) const;
  void print_xml_entry(std::ostream& out, const Entry& e,
                       const std::string& indent) const;

  std::vector<Entry> d_entries;
  std::unordered_map<std::string, size_t> d_index;  // name -> d_entries index
};

}  // namespace libqvp

#endif  // LIBQVP_ATTRTABLE_H
