// An ordered table of attributes (name, type, values) and nested containers.
#ifndef LIBQVP_ATTRTABLE_H
#define LIBQVP_ATTRTABLE_H

#include <memory>
#include <ostream>
#include <string>
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
  // that exist appended, containers merged recursively.
  void merge(const AttrTable& other);

  const std::vector<Entry>& entries() const { return d_entries; }
  bool empty() const { return d_entries.empty(); }
  size_t size() const { return d_entries.size(); }

  // The entries in the DAS text form, each line starting with `indent`:
  //   <indent>String units "degC";
  //   <indent>name {  ...members at indent + four blanks...  <indent>}
  void print(std::ostream& out, const std::string& indent) const;

  // The entries as XML <Attribute> elements (containers nested, one <value>
  // per value, text XML-escaped), each line starting with `indent`.
  void print_xml(std::ostream& out, const std::string& indent) const;

 private:
  Entry* find_entry(const std::string& name);
  std::vector<Entry> d_entries;
};

}  // namespace libqvp

#endif  // LIBQVP_ATTRTABLE_H
