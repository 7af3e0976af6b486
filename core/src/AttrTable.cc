// The attribute table: ordered entries with a name index, value checks
// against the attribute's type, merging, and the text and XML printers.
#include <libqvp/AttrTable.h>
#include <libqvp/Error.h>
#include <libqvp/Type.h>
#include <libqvp/escaping.h>
#include <libqvp/visit_scalar.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <utility>

namespace libqvp {
namespace {

const char* const kContainer = "Container";

struct IntRange {
  long long min;
  long long max;
};

// from_chars takes no leading '+'; the text form allows one.
std::string_view without_plus(const std::string& text) {
  std::string_view v(text);
  if (v.size() > 1 && v[0] == '+' && v[1] != '-') v.remove_prefix(1);
  return v;
}

// Empty when `value` is an integer within `r`, else the reason.
std::string check_integer(const std::string& value, const IntRange& r) {
  const std::string_view v = without_plus(value);
  long long n = 0;
  const auto res = std::from_chars(v.data(), v.data() + v.size(), n);
  if (res.ec == std::errc::result_out_of_range) return "is out of range";
  if (res.ec != std::errc() || res.ptr != v.data() + v.size())
    return "is not an integer";
  if (n < r.min || n > r.max) return "is out of range";
  return "";
}

// Empty when `value` is a number (or nan, inf) that `t` can hold.
std::string check_float(const std::string& value, Type t) {
  const std::string_view v = without_plus(value);
  double d = 0;
  const auto res = std::from_chars(v.data(), v.data() + v.size(), d);
  if (res.ec == std::errc::result_out_of_range) return "is out of range";
  if (res.ec != std::errc() || res.ptr != v.data() + v.size())
    return "is not a number";
  if (t == Type::Float32 && std::isfinite(d) && std::fabs(d) > FLT_MAX)
    return "is out of range";
  return "";
}

// The canonical scalar type named `name` (any case). Throws
// Error(type_mismatch) for anything else.
Type attribute_type(const std::string& name) {
  Type t;
  if (!type_from_name(name, t) || !is_simple_type(t))
    throw Error(type_mismatch, "'" + name + "' is not an attribute type");
  return t;
}

void check_value(const std::string& name, Type t, const std::string& value) {
  const std::string why = visit_scalar(
      t,
      [&](auto tag) -> std::string {
        using T = typename decltype(tag)::value_type;
        if constexpr (std::is_integral_v<T>)
          return check_integer(value, {std::numeric_limits<T>::min(),
                                       std::numeric_limits<T>::max()});
        else if constexpr (std::is_floating_point_v<T>)
          return check_float(value, t);
        else
          return "";
      },
      [](Type) { return std::string(); });
  if (!why.empty())
    throw Error(type_mismatch, "value '" + value + "' of attribute '" + name +
                                   "' " + why + " for " + type_name(t));
}

bool is_text_type(const std::string& type) {
  return type == "String" || type == "Url";
}

void print_value(std::ostream& out, const std::string& type,
                 const std::string& value) {
  if (!is_text_type(type)) {
    out << value;
    return;
  }
  out << '"';
  for (char c : value) {
    if (c == '"' || c == '\\') out << '\\';
    out << c;
  }
  out << '"';
}

}  // namespace

AttrTable::AttrTable(const AttrTable& other) { *this = other; }

AttrTable& AttrTable::operator=(const AttrTable& other) {
  if (this == &other) return *this;
  std::vector<Entry> entries;
  entries.reserve(other.d_entries.size());
  for (const Entry& e : other.d_entries) {
    Entry copy{e.name, e.type, e.values, nullptr};
    if (e.table) copy.table = std::make_unique<AttrTable>(*e.table);
    entries.push_back(std::move(copy));
  }
  d_entries = std::move(entries);
  d_index = other.d_index;
  return *this;
}

AttrTable::~AttrTable() = default;

AttrTable::Entry* AttrTable::find_entry(const std::string& name) {
  const auto it = d_index.find(name);
  return it == d_index.end() ? nullptr : &d_entries[it->second];
}

const AttrTable::Entry* AttrTable::find(const std::string& name) const {
  const auto it = d_index.find(name);
  return it == d_index.end() ? nullptr : &d_entries[it->second];
}

AttrTable* AttrTable::find_container(const std::string& name) const {
  const Entry* e = find(name);
  return e ? e->table.get() : nullptr;
}

void AttrTable::append_attr(const std::string& name, const std::string& type,
                            const std::string& value) {
  const Type t = attribute_type(type);
  const std::string canonical = type_name(t);
  check_value(name, t, value);
  Entry* e = find_entry(name);
  if (e && e->is_container())
    throw Error(type_mismatch,
                "'" + name + "' is a container, not an attribute");
  if (e && e->type != canonical)
    throw Error(type_mismatch, "attribute '" + name + "' has type " + e->type +
                                   ", not " + canonical);
  if (e) {
    e->values.push_back(value);
    return;
  }
  d_entries.push_back(Entry{name, canonical, {value}, nullptr});
  d_index.emplace(name, d_entries.size() - 1);
}

AttrTable* AttrTable::append_container(const std::string& name) {
  Entry* e = find_entry(name);
  if (e && !e->is_container())
    throw Error(type_mismatch,
                "'" + name + "' is an attribute, not a container");
  if (e) return e->table.get();
  d_entries.push_back(
      Entry{name, kContainer, {}, std::make_unique<AttrTable>()});
  d_index.emplace(name, d_entries.size() - 1);
  return d_entries.back().table.get();
}

void AttrTable::merge(const AttrTable& other) {
  AttrTable merged(*this);
  merged.merge_in_place(other);
  *this = std::move(merged);
}

void AttrTable::merge_in_place(const AttrTable& other) {
  for (const Entry& e : other.d_entries) {
    if (e.is_container()) {
      append_container(e.name)->merge_in_place(*e.table);
      continue;
    }
    for (const std::string& v : e.values) append_attr(e.name, e.type, v);
  }
}

void AttrTable::print(std::ostream& out, const std::string& indent) const {
  for (const Entry& e : d_entries) print_entry(out, e, indent);
}

void AttrTable::print_entry(std::ostream& out, const Entry& e,
                            const std::string& indent) const {
  if (e.is_container()) {
    out << indent << id2www(e.name) << " {\n";
    e.table->print(out, indent + "    ");
    out << indent << "}\n";
    return;
  }
  out << indent << e.type << ' ' << id2www(e.name);
  const char* sep = " ";
  for (const std::string& v : e.values) {
    out << sep;
    print_value(out, e.type, v);
    sep = ", ";
  }
  out << ";\n";
}

}  // namespace libqvp
