// Each member is opened once, its header read and compared with the first
// member's, and closed before the next is opened: memory holds one header
// and the values along the joined dimension, whatever the member count.
#include "NcmlJoin.h"

#include <libqvp/Error.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "CfTime.h"
#include "MemberHeader.h"
#include "MemberValues.h"
#include "NcFile.h"
#include "NcmlValues.h"

namespace libqvp {
namespace {

using Kind = NcmlAggregation::Kind;

[[noreturn]] void disagree(const ResolvedMember& m, const std::string& what) {
  throw Error(internal_error, "\"" + m.display + "\": " + what);
}

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

// A member's header, read from the open file.
struct MemberView {
  VirtualDataSet header;
  std::vector<std::string> omitted;
};

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

class JoinExisting {
 public:
  JoinExisting(const NcmlDocument& doc, const NcmlAggregation& agg,
               const std::vector<ResolvedMember>& members, VirtualDataSet& ds)
      : d_doc(doc), d_agg(agg), d_members(members), d_ds(ds) {}
  void run();

 private:
  void first_member();
  void add_member(size_t k);
  std::vector<double> read_member(size_t k, VirtualMember& out);
  std::vector<double> coordinates_given(const ResolvedMember& m) const;
  void check_monotonic(size_t k, const std::vector<double>& values);
  void finish();

  const NcmlDocument& d_doc;
  const NcmlAggregation& d_agg;
  const std::vector<ResolvedMember>& d_members;
  VirtualDataSet& d_ds;
  size_t d_join = 0;
  int d_coord = -1;
  bool d_have_units = false;
  CfTimeUnits d_units;
  std::vector<size_t> d_along;  // numeric variables of the join alone
  std::vector<std::vector<double>> d_values;  // per d_along entry
  std::vector<double> d_coord_values;
  bool d_started = false;
  bool d_all_opened = true;
  int d_direction = 0;  // +1 increasing, -1 decreasing
  double d_last = 0;
  size_t d_total = 0;
};

void JoinExisting::first_member() {
  const ResolvedMember& m = d_members[0];
  NcFile file(m.path, 0, NcFile::Reuse::fresh);
  std::vector<std::string> omitted;
  read_member_header(file.id(), 0, m.display, d_ds, omitted);
  const int join = d_ds.find_dim(d_agg.dim_name);
  if (join < 0) disagree(m, "has no dimension " + d_agg.dim_name);
  d_join = static_cast<size_t>(join);
  for (size_t i = 0; i < d_ds.vars.size(); ++i) {
    VirtualVariable& v = d_ds.vars[i];
    if (v.dims.empty() || v.dims[0] != d_join) continue;
    v.source = ValueSource::joined;
    if (v.dims.size() == 1 && v.type != NC_CHAR && v.type != NC_STRING)
      d_along.push_back(i);
  }
  d_values.resize(d_along.size());
  d_coord = d_ds.find_var(d_agg.dim_name);
  if (d_coord >= 0 &&
      d_ds.vars[static_cast<size_t>(d_coord)].source != ValueSource::joined)
    d_coord = -1;
  d_have_units = time_units(d_ds, d_coord, d_units);
}

std::vector<double> JoinExisting::coordinates_given(
    const ResolvedMember& m) const {
  std::vector<double> values;
  if (!parse_numbers(m.element->coord_value, values))
    throw Error(internal_error, d_doc.where(m.element->place) +
                                    "coordValue=\"" + m.element->coord_value +
                                    "\" is not a list of numbers");
  if (values.size() != *m.element->ncoords)
    throw Error(internal_error, d_doc.where(m.element->place) +
                                    "coordValue has " +
                                    std::to_string(values.size()) +
                                    " values where ncoords is " +
                                    std::to_string(*m.element->ncoords));
  return values;
}

void JoinExisting::check_monotonic(size_t k,
                                   const std::vector<double>& values) {
  for (double x : values) {
    if (d_started) {
      const int dir = x > d_last ? 1 : x < d_last ? -1 : 0;
      if (d_direction == 0) d_direction = dir;
      if (dir == 0 || dir != d_direction)
        disagree(d_members[k],
                 d_agg.dim_name + " " + format_number(x) + " does not follow " +
                     format_number(d_last) +
                     " (the join coordinate must be strictly monotonic, "
                     "without overlap between members)");
    }
    d_started = true;
    d_last = x;
  }
}

// Reads the header of member `k`, checks it against the first member's, and
// returns its coordinates (converted to the first member's time units when
// the aggregation asks for it).
std::vector<double> JoinExisting::read_member(size_t k, VirtualMember& out) {
  const ResolvedMember& m = d_members[k];
  NcFile file(m.path, 0, NcFile::Reuse::fresh);
  const MemberView mv = open_member(m, file);
  const int join = mv.header.find_dim(d_agg.dim_name);
  if (join < 0) disagree(m, "has no dimension " + d_agg.dim_name);
  out.length = mv.header.dims[static_cast<size_t>(join)].length;
  if (m.element != nullptr && m.element->ncoords &&
      *m.element->ncoords != out.length)
    disagree(m, d_agg.dim_name + " has " + std::to_string(out.length) +
                    " values where ncoords says " +
                    std::to_string(*m.element->ncoords));
  for (size_t d = 0; d < d_ds.dims.size(); ++d) {
    if (d == d_join) continue;
    const int at = mv.header.find_dim(d_ds.dims[d].name);
    if (at < 0) disagree(m, "has no dimension " + d_ds.dims[d].name);
    const size_t len = mv.header.dims[static_cast<size_t>(at)].length;
    if (len != d_ds.dims[d].length)
      disagree(m, d_ds.dims[d].name + " has " + std::to_string(len) +
                      " values where the aggregation has " +
                      std::to_string(d_ds.dims[d].length));
  }
  for (const VirtualVariable& v : d_ds.vars)
    if (v.source == ValueSource::joined)
      check_variable(d_ds, v, mv, m, 0, true);
  std::vector<double> coords;
  for (size_t i = 0; i < d_along.size(); ++i) {
    const std::string& name = d_ds.vars[d_along[i]].name;
    std::vector<double> values =
        read_member_doubles(file.id(), name, m.display);
    if (static_cast<int>(d_along[i]) == d_coord)
      coords = std::move(values);
    else if (d_all_opened)
      d_values[i].insert(d_values[i].end(), values.begin(), values.end());
  }
  if (d_have_units && d_agg.time_units_change && k > 0) {
    CfTimeUnits units;
    const int c = mv.header.find_var(d_agg.dim_name);
    if (!time_units(mv.header, c, units))
      disagree(m, d_agg.dim_name + " has no time units");
    for (double& x : coords)
      x = (x * units.unit_seconds + units.epoch - d_units.epoch) /
          d_units.unit_seconds;
  }
  return coords;
}

void JoinExisting::add_member(size_t k) {
  const ResolvedMember& m = d_members[k];
  VirtualMember out;
  out.path = m.path;
  out.display = m.display;
  out.identity = m.identity;
  out.listed = m.listed;
  out.offset = d_total;
  const bool given = k > 0 && m.element != nullptr && m.element->ncoords &&
                     (d_coord < 0 || !m.element->coord_value.empty());
  std::vector<double> coords;
  if (given) {
    out.length = *m.element->ncoords;
    if (d_coord >= 0) coords = coordinates_given(m);
    d_all_opened = false;
  } else {
    coords = read_member(k, out);
  }
  if (d_coord >= 0) {
    check_monotonic(k, coords);
    d_coord_values.insert(d_coord_values.end(), coords.begin(), coords.end());
  }
  d_total += out.length;
  out.opened = !given;
  d_ds.members.push_back(std::move(out));
}

// The coordinate, and the other numeric variables of the joined dimension
// alone when every member was read, become values of the data set.
void JoinExisting::finish() {
  d_ds.dims[d_join].length = d_total;
  for (size_t i = 0; i < d_along.size(); ++i) {
    VirtualVariable& v = d_ds.vars[d_along[i]];
    const bool coord = static_cast<int>(d_along[i]) == d_coord;
    if (!d_all_opened && !coord) continue;  // read from the members
    const std::vector<double>& values = coord ? d_coord_values : d_values[i];
    if (values.size() != d_total) continue;
    // Converted times may fall between the integers of the source type.
    if (coord && d_agg.time_units_change) v.type = NC_DOUBLE;
    v.source = ValueSource::own;
    v.values.clear();
    for (double x : values)
      if (!append_value(v.type, x, v.values))
        throw Error(internal_error, "\"" + d_doc.name + "\": a value of " +
                                        v.name + " does not fit its type");
  }
}

void JoinExisting::run() {
  first_member();
  for (size_t k = 0; k < d_members.size(); ++k) add_member(k);
  finish();
}

// The joinNew coordinate: coordValue numbers, or dates (from coordValue or
// the file names) as days since 1970, or else the members' names.
void new_coordinate(const NcmlDocument& doc, const NcmlAggregation& agg,
                    const std::vector<ResolvedMember>& members,
                    VirtualVariable& c) {
  c.name = agg.dim_name;
  c.source = ValueSource::own;
  bool numbers = true, dates = true, names = true;
  std::vector<double> values;
  for (const ResolvedMember& m : members) {
    const std::string text = m.element ? m.element->coord_value : "";
    double x = 0;
    char* end = nullptr;
    if (m.date) {
      values.push_back(*m.date / 86400);
      numbers = names = false;
    } else if (!text.empty()) {
      names = false;
      x = std::strtod(text.c_str(), &end);
      if (end != text.c_str() && *end == '\0') {
        values.push_back(x);
        dates = false;
      } else if (parse_iso_time(text, x)) {
        values.push_back(x / 86400);
        numbers = false;
      } else {
        throw Error(internal_error, doc.where(m.element->place) +
                                        "coordValue=\"" + text +
                                        "\" is neither a number nor a date");
      }
    } else {
      numbers = dates = false;
    }
    c.strings.push_back(m.display);
  }
  if (names) {
    c.type = NC_STRING;
    return;
  }
  c.strings.clear();
  if (!numbers && !dates)
    throw Error(internal_error,
                doc.where(agg.place) +
                    "every member needs a coordValue of the same kind");
  c.type = NC_DOUBLE;
  for (double x : values) append_value(NC_DOUBLE, x, c.values);
  if (dates) {
    VirtualAttribute units{
        "units", NC_CHAR, 0, "days since 1970-01-01 00:00:00", {}};
    units.count = units.bytes.size();
    c.attributes.push_back(units);
  }
}

void join_new(const NcmlDocument& doc, const NcmlAggregation& agg,
              const std::vector<ResolvedMember>& members, VirtualDataSet& ds) {
  {
    NcFile file(members[0].path, 0, NcFile::Reuse::fresh);
    std::vector<std::string> omitted;
    read_member_header(file.id(), 0, members[0].display, ds, omitted);
  }
  if (ds.find_dim(agg.dim_name) >= 0 || ds.find_var(agg.dim_name) >= 0)
    disagree(members[0],
             "already has " + agg.dim_name + ", the dimension a joinNew adds");
  ds.dims.insert(ds.dims.begin(), {agg.dim_name, members.size()});
  for (VirtualVariable& v : ds.vars)
    for (size_t& d : v.dims) ++d;
  for (const std::string& name : agg.variable_agg) {
    const int at = ds.find_var(name);
    if (at < 0) disagree(members[0], "has no variable " + name);
    VirtualVariable& v = ds.vars[static_cast<size_t>(at)];
    v.dims.insert(v.dims.begin(), 0);
    v.source = ValueSource::joined;
  }
  VirtualVariable c;
  c.dims = {0};
  new_coordinate(doc, agg, members, c);
  ds.vars.insert(ds.vars.begin(), std::move(c));
  for (size_t k = 0; k < members.size(); ++k) {
    const ResolvedMember& m = members[k];
    if (k > 0) {
      NcFile file(m.path, 0, NcFile::Reuse::fresh);
      const MemberView mv = open_member(m, file);
      for (const VirtualVariable& v : ds.vars)
        if (v.source == ValueSource::joined)
          check_variable(ds, v, mv, m, 1, false);
    }
    ds.members.push_back({m.path, m.display, m.identity, k, 1, m.listed, true});
  }
}

void join_union(const std::vector<ResolvedMember>& members,
                VirtualDataSet& ds) {
  for (size_t k = 0; k < members.size(); ++k) {
    const ResolvedMember& m = members[k];
    NcFile file(m.path, 0, NcFile::Reuse::fresh);
    MemberView mv = open_member(m, file);
    std::vector<size_t> dim_at(mv.header.dims.size());
    for (size_t d = 0; d < mv.header.dims.size(); ++d) {
      const VirtualDimension& dim = mv.header.dims[d];
      const int at = ds.find_dim(dim.name);
      if (at >= 0 && ds.dims[static_cast<size_t>(at)].length != dim.length)
        disagree(m,
                 dim.name + " has " + std::to_string(dim.length) +
                     " values where the aggregation has " +
                     std::to_string(ds.dims[static_cast<size_t>(at)].length));
      if (at < 0) ds.dims.push_back(dim);
      dim_at[d] = at >= 0 ? static_cast<size_t>(at) : ds.dims.size() - 1;
    }
    for (VirtualVariable& v : mv.header.vars) {
      if (ds.find_var(v.name) >= 0) continue;
      for (size_t& d : v.dims) d = dim_at[d];
      v.member = static_cast<uint32_t>(k);
      ds.vars.push_back(std::move(v));
    }
    for (VirtualAttribute& a : mv.header.globals) {
      bool present = false;
      for (const VirtualAttribute& g : ds.globals)
        present = present || g.name == a.name;
      if (!present) ds.globals.push_back(std::move(a));
    }
    ds.members.push_back({m.path, m.display, m.identity, 0, 0, m.listed, true});
  }
}

}  // namespace

void join_members(const NcmlDocument& doc, const NcmlAggregation& agg,
                  const std::vector<ResolvedMember>& members,
                  VirtualDataSet& out) {
  switch (agg.kind) {
    case Kind::join_existing:
      out.kind = VirtualDataSet::Kind::join_existing;
      return JoinExisting(doc, agg, members, out).run();
    case Kind::join_new:
      out.kind = VirtualDataSet::Kind::join_new;
      return join_new(doc, agg, members, out);
    case Kind::union_of:
      out.kind = VirtualDataSet::Kind::union_of;
      return join_union(members, out);
  }
}

}  // namespace libqvp
