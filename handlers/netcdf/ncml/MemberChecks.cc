#include "MemberChecks.h"

#include <libqvp/Error.h>

#include <cstdio>

#include "MemberHeader.h"

namespace libqvp {
namespace {

std::string type_name(nc_type t) {
  static const char* const kNames[] = {
      "",      "byte",   "char", "short", "int",    "float", "double",
      "ubyte", "ushort", "uint", "int64", "uint64", "string"};
  return t >= 0 && t <= NC_STRING ? kNames[t] : "user-defined";
}

std::string dim_list(const VirtualDataSet& ds, const VirtualVariable& v) {
  std::string s = "(";
  for (size_t i = 0; i < v.dims.size(); ++i)
    s += (i ? ", " : "") + ds.dims[v.dims[i]].name;
  return s + ")";
}

const VirtualAttribute* find_attribute(const VirtualVariable& v,
                                       const std::string& name) {
  for (const VirtualAttribute& a : v.attributes)
    if (a.name == name) return &a;
  return nullptr;
}

}  // namespace

void disagree(const ResolvedMember& m, const std::string& what) {
  throw Error(internal_error, "\"" + m.display + "\": " + what);
}

// Checks that variable `name` of `m` has the type and dimensions (names and
// lengths) that `ds` gives it, less `skip_outer` leading dimensions of `ds`'s
// (the joined one of a joinNew), or with the first of any length
// (`outer_free`, a joinExisting).
void check_variable(const VirtualDataSet& ds, const VirtualVariable& want,
                    const MemberView& mv, const ResolvedMember& m,
                    size_t skip_outer, bool outer_free) {
  const int at = mv.header.find_var(want.member_name);
  if (at < 0) disagree(m, "has no variable " + want.member_name);
  const VirtualVariable& got = mv.header.vars[static_cast<size_t>(at)];
  if (got.type != want.type)
    disagree(m, want.member_name + " is " + type_name(got.type) +
                    " where the aggregation has " + type_name(want.type));
  if (got.dims.size() + skip_outer != want.dims.size())
    disagree(m, want.member_name + " has dimensions " +
                    dim_list(mv.header, got) + " where the aggregation has " +
                    dim_list(ds, want));
  for (size_t d = 0; d < got.dims.size(); ++d) {
    const VirtualDimension& g = mv.header.dims[got.dims[d]];
    const VirtualDimension& w = ds.dims[want.dims[d + skip_outer]];
    if (g.name != w.name)
      disagree(m, want.member_name + " has dimensions " +
                      dim_list(mv.header, got) + " where the aggregation has " +
                      dim_list(ds, want));
    if (g.length != w.length && !(outer_free && d == 0))
      disagree(m, w.name + " has " + std::to_string(g.length) +
                      " values where the aggregation has " +
                      std::to_string(w.length));
  }
}

MemberView open_member(const ResolvedMember& m, NcFile& file) {
  MemberView v;
  read_member_header(file.id(), 0, m.display, v.header, v.omitted);
  return v;
}

// The time units of the join coordinate; false when it has none.
bool time_units(const VirtualDataSet& ds, int coord, CfTimeUnits& out) {
  if (coord < 0) return false;
  const VirtualAttribute* u =
      find_attribute(ds.vars[static_cast<size_t>(coord)], "units");
  return u != nullptr && u->type == NC_CHAR &&
         parse_cf_time_units(u->bytes, out);
}

std::string format_number(double x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", x);
  return buf;
}

}  // namespace libqvp
