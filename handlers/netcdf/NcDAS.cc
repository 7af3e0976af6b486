// Building the DAS: attribute values are kept as text, so numbers are
// written with enough digits to read back exactly (9 for floats, 17 for
// doubles) and 64-bit integers with all their digits.
#include "NcDAS.h"

#include <libqvp/AttrTable.h>
#include <libqvp/Error.h>
#include <netcdf.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

#include "InexactValue.h"
#include "NcCompound.h"
#include "NcDimensions.h"
#include "NcEnum.h"
#include "NcGroupWalker.h"
#include "NcValues.h"
#include "NcVariable.h"

namespace libqvp {
namespace {

std::string real_text(double d, int digits) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d < 0 ? "-Inf" : "Inf";
  char buf[64];
  snprintf(buf, sizeof buf, "%.*g", digits, d);
  return buf;
}

std::string text_of(float f) { return real_text(f, 9); }
std::string text_of(double d) { return real_text(d, 17); }
std::string text_of(signed char c) { return std::to_string(c); }
std::string text_of(unsigned char c) { return std::to_string(c); }
template <typename T>
std::string text_of(T v) {
  return std::to_string(v);
}

// True when a value of `values` is a 64-bit integer without an exact
// Float64 form.
template <typename T>
bool any_inexact(const std::vector<T>& values) {
  if constexpr (std::is_integral_v<T> && sizeof(T) == 8) {
    for (const T& v : values)
      if (!has_exact_double(v)) return true;
  }
  return false;
}

// An attribute of the numeric netCDF type `xtype`, read into a vector of T
// with nc_get_att and appended value by value under the core type that a
// variable of `xtype` has. 64-bit integers are Float64 there; when one of
// them has no exact Float64 form, a client would read it rounded, so the
// whole attribute is a String of the exact decimal digits instead.
template <typename T>
void add_numbers(int ncid, int varid, const char* name, size_t len,
                 nc_type xtype, AttrTable& table) {
  Type t;
  if (!core_type_of(xtype, t))
    throw Error(internal_error,
                std::string("The attribute \"") + name + "\" has no core type");
  std::vector<T> values(len);
  check_nc(nc_get_att(ncid, varid, name, values.data()),
           std::string("Cannot read the attribute \"") + name + "\"");
  const char* type = any_inexact(values) ? "String" : type_name(t);
  for (const T& v : values) table.append_attr(name, type, text_of(v));
}

void add_text(int ncid, int varid, const char* name, size_t len,
              AttrTable& table) {
  std::string text(len, '\0');
  check_nc(nc_get_att_text(ncid, varid, name, text.data()),
           std::string("Cannot read the attribute \"") + name + "\"");
  while (!text.empty() && text.back() == '\0') text.pop_back();
  table.append_attr(name, "String", text);
}

void add_strings(int ncid, int varid, const char* name, size_t len,
                 AttrTable& table) {
  std::vector<char*> values(len, nullptr);
  check_nc(nc_get_att_string(ncid, varid, name, values.data()),
           std::string("Cannot read the attribute \"") + name + "\"");
  try {
    for (char* v : values) table.append_attr(name, "String", v ? v : "");
  } catch (...) {
    nc_free_string(len, values.data());
    throw;
  }
  nc_free_string(len, values.data());
}

size_t type_size(int ncid, nc_type type) {
  size_t size = 0;
  return nc_inq_type(ncid, type, nullptr, &size) == NC_NOERR ? size : 0;
}

void add_attribute(int ncid, int varid, int attnum, AttrTable& table) {
  char name[NC_MAX_NAME + 1] = {};
  nc_type type = NC_NAT;
  size_t len = 0;
  check_nc(nc_inq_attname(ncid, varid, attnum, name), "Cannot read attributes");
  check_nc(nc_inq_att(ncid, varid, name, &type, &len),
           std::string("Cannot read the attribute \"") + name + "\"");
  const size_t width =
      type == NC_STRING ? sizeof(char*) : type_size(ncid, type);
  if (width != 0 && len > kMaxAttributeBytes / width)
    throw Error(internal_error,
                std::string("The attribute \"") + name + "\" is too large");
  if (type == NC_STRING) return add_strings(ncid, varid, name, len, table);
  visit_nc_atomic(
      type,
      [&](auto tag) {
        using T = typename decltype(tag)::type;
        if constexpr (std::is_same_v<T, char>)
          add_text(ncid, varid, name, len, table);
        else
          add_numbers<T>(ncid, varid, name, len, type, table);
      },
      [] {});  // user-defined types have no text form here
}

void add_attributes(int ncid, int varid, int natts, AttrTable& table) {
  for (int i = 0; i < natts; ++i) add_attribute(ncid, varid, i, table);
}

bool is_unsigned(Type t) {
  return t == Type::Byte || t == Type::UInt16 || t == Type::UInt32;
}

// Clients take integers as signed unless told otherwise.
void mark_unsigned(Type t, AttrTable& table) {
  if (is_unsigned(t) && !table.find("_Unsigned"))
    table.append_attr("_Unsigned", "String", "true");
}

// True when a member needs attributes of its own: it is unsigned or an enum.
bool needs_attributes(const NcMember& m) {
  if (m.xtype != NC_NAT) return is_unsigned(m.type) || m.enum_type != NC_NAT;
  for (const NcMember& sub : m.members)
    if (needs_attributes(sub)) return true;
  return false;
}

// Containers for the members that hold unsigned or enum values, with
// _Unsigned and the flag attributes. A member whose name the variable's own
// attribute holds already is left as it is.
void add_member_attributes(const NcCompound& c,
                           const std::vector<NcMember>& members,
                           const std::string& path, AttrTable& table) {
  for (const NcMember& m : members) {
    if (!needs_attributes(m)) continue;
    const AttrTable::Entry* e = table.find(m.name);
    if (e != nullptr && !e->is_container()) continue;
    AttrTable& member = *table.append_container(m.name);
    if (m.xtype == NC_NAT) {
      add_member_attributes(c, m.members, path + "." + m.name, member);
      continue;
    }
    mark_unsigned(m.type, member);
    if (m.enum_type != NC_NAT) {
      NcVariable v;  // the member, as add_enum_attributes describes it
      v.ncid = c.v.ncid;
      v.name = path + "." + m.name;
      v.xtype = m.enum_type;
      v.base = m.xtype;
      v.type = m.type;
      add_enum_attributes(v, member);
    }
  }
}

// Why a variable of a user-defined type is left out: " (vlen)", " (opaque)"
// or " (too large)" for a compound; "" for an atomic one too large.
std::string omitted_kind(int ncid, nc_type xtype) {
  int type_class = 0;
  if (xtype <= NC_MAX_ATOMIC_TYPE ||
      nc_inq_user_type(ncid, xtype, nullptr, nullptr, nullptr, nullptr,
                       &type_class) != NC_NOERR)
    return "";
  switch (type_class) {
    case NC_VLEN:
      return " (vlen)";
    case NC_OPAQUE:
      return " (opaque)";
    case NC_COMPOUND:
      return " (too large)";
    default:
      return "";
  }
}

struct GroupDas {
  NcGroupWalker walker;
  NcDimensions dims;
  std::vector<std::string> omitted;
  // Group attributes named like a member of their group, whose container
  // takes the name: kept for NC_GLOBAL under their dotted path ("grp.temp"),
  // the name remote clients give every group attribute.
  AttrTable displaced;
};

// True when group `ncid` has a variable or a group named `name`.
bool is_member_name(int ncid, const std::string& name) {
  int id = 0;
  return nc_inq_varid(ncid, name.c_str(), &id) == NC_NOERR ||
         nc_inq_grp_ncid(ncid, name.c_str(), &id) == NC_NOERR;
}

// The attributes of group `ncid` into `table`, those named like a member
// into state.displaced.
void add_group_attributes(int ncid, const std::string& path, AttrTable& table,
                          GroupDas& state) {
  int natts = 0;
  check_nc(nc_inq_natts(ncid, &natts),
           "Cannot read the attributes of the group \"" + path + "\"");
  AttrTable attrs;
  add_attributes(ncid, NC_GLOBAL, natts, attrs);
  for (const AttrTable::Entry& e : attrs.entries()) {
    const bool clash = is_member_name(ncid, e.name);
    for (const std::string& value : e.values) {
      if (clash)
        state.displaced.append_attr(path + "." + e.name, e.type, value);
      else
        table.append_attr(e.name, e.type, value);
    }
  }
}

void add_variable(const NcVariable& v, const std::string& prefix,
                  AttrTable& table, GroupDas& state) {
  int natts = 0;
  check_nc(nc_inq_varnatts(v.ncid, v.varid, &natts),
           "Cannot read the attributes of \"" + v.name + "\"");
  add_attributes(v.ncid, v.varid, natts, table);
  if (v.is_compound()) {
    const NcCompound c = describe_compound(v);
    add_member_attributes(c, c.members, v.name, table);
    for (const std::string& o : c.omitted) state.omitted.push_back(prefix + o);
    return;
  }
  mark_unsigned(v.type, table);
  if (v.base != NC_NAT) add_enum_attributes(v, table);
}

// The variables of group `ncid` as containers of `table`, and its groups as
// containers holding their attributes, variables and groups in turn.
void add_group(int ncid, int depth, const std::string& prefix, AttrTable& table,
               GroupDas& state) {
  int nvars = 0;
  check_nc(nc_inq_nvars(ncid, &nvars), "Cannot read the variables");
  for (int varid = 0; varid < nvars; ++varid) {
    NcVariable v;
    if (describe_variable(ncid, varid, state.dims, v)) {
      add_variable(v, prefix, *table.append_container(v.name), state);
    } else {
      const std::string kind = omitted_kind(ncid, v.xtype);
      if (!kind.empty()) state.omitted.push_back(prefix + v.name + kind);
    }
  }
  for (int child : state.walker.children(ncid, depth)) {
    const std::string name = group_name(child);
    AttrTable& group = *table.append_container(name);
    add_group_attributes(child, prefix + name, group, state);
    add_group(child, depth + 1, prefix + name + ".", group, state);
  }
}

}  // namespace

void build_das(const NcFile& file, DAS& das) {
  GroupDas state;
  add_group(file.id(), 0, "", das.get_top_level(), state);
  int ngatts = 0;
  check_nc(nc_inq_natts(file.id(), &ngatts),
           "Cannot read the global attributes");
  AttrTable& global = *das.add_table("NC_GLOBAL");
  add_attributes(file.id(), NC_GLOBAL, ngatts, global);
  global.merge(state.displaced);
  for (const std::string& o : state.omitted)
    global.append_attr("omitted_variables", "String", o);
}

}  // namespace libqvp
