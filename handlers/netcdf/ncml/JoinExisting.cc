// Each member is opened once, its header read and compared with the first
// member's, and closed before the next is opened: memory holds one header
// and the values along the joined dimension, whatever the member count.
#include "JoinExisting.h"

#include <libqvp/Error.h>

#include "MemberChecks.h"
#include "MemberHeader.h"
#include "MemberValues.h"
#include "NcFile.h"
#include "NcmlValues.h"

namespace libqvp {

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
}  // namespace libqvp
