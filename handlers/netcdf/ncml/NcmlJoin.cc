// joinNew and union here; a joinExisting is JoinExisting's.
#include "NcmlJoin.h"

#include <libqvp/Error.h>

#include <cstdio>
#include <memory>

#include "CfTime.h"
#include "JoinExisting.h"
#include "MemberChecks.h"
#include "MemberHeader.h"
#include "NcFile.h"
#include "NcmlValues.h"

namespace libqvp {
namespace {

using Kind = NcmlAggregation::Kind;

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
