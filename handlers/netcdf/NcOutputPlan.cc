// The plan is built in two passes: first the variables that the constraint
// selects, each binding its dimensions to its selection; then their
// coordinate variables, which take the selection already bound. So a
// coordinate variable selected on its own with another slice is caught as a
// conflict rather than silently resliced.
#include "NcOutputPlan.h"

#include <libqvp/Array.h>
#include <libqvp/Error.h>
#include <libqvp/Grid.h>
#include <libqvp/Str.h>
#include <libqvp/Structure.h>

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "NcCoordinates.h"
#include "NcDimensions.h"
#include "NcVariable.h"

namespace libqvp {
namespace {

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// "" for the root group, "grp.sub." for group /grp/sub.
std::string group_prefix(int ncid) {
  size_t len = 0;
  check_nc(nc_inq_grpname_len(ncid, &len), "Cannot read a group's name");
  std::string full(len, '\0');
  check_nc(nc_inq_grpname_full(ncid, &len, full.data()),
           "Cannot read a group's name");
  std::string prefix;
  for (size_t i = 1; i < full.size(); ++i)
    prefix += full[i] == '/' ? '.' : full[i];
  return prefix.empty() ? prefix : prefix + ".";
}

// The variable named `name` in `ncid` or the nearest enclosing group.
bool find_outwards(int ncid, const std::string& name, int& group, int& varid) {
  for (int g = ncid;;) {
    if (nc_inq_varid(g, name.c_str(), &varid) == NC_NOERR) {
      group = g;
      return true;
    }
    if (nc_inq_grp_parent(g, &g) != NC_NOERR) return false;
  }
}

bool is_unlimited(int ncid, int dimid) {
  const int g = defining_group(ncid, dimid);
  int n = 0;
  if (g < 0 || nc_inq_unlimdims(g, &n, nullptr) != NC_NOERR || n == 0)
    return false;
  std::vector<int> ids(static_cast<size_t>(n));
  nc_inq_unlimdims(g, &n, ids.data());
  return std::find(ids.begin(), ids.end(), dimid) != ids.end();
}

// The longest of the selected strings of `v` (an Array of strings or a
// String); at least 1, as a netCDF dimension cannot be empty.
size_t longest_string(BaseType& v) {
  size_t longest = 1;
  if (auto* s = dynamic_cast<Str*>(&v)) {
    s->read_once();
    return std::max(longest, s->value().size());
  }
  auto& a = dynamic_cast<Array&>(v);
  std::vector<std::string> box;
  a.visit_boxes(4096, [&](const auto& start, const auto& stride,
                          const auto& count, size_t n) {
    box.resize(n);
    a.read_box(start, stride, count, box.data());
    for (const std::string& s : box) longest = std::max(longest, s.size());
  });
  return longest;
}

// The selected member arrays of compound variable `s` (a Structure of
// arrays, one per member), nested members included.
void selected_members(const Structure& s, std::vector<const Array*>& out) {
  for (auto it = s.var_begin(); it != s.var_end(); ++it) {
    if (!(*it)->send_p()) continue;
    if (auto* inner = dynamic_cast<const Structure*>(*it))
      selected_members(*inner, out);
    else if (auto* a = dynamic_cast<const Array*>(*it))
      out.push_back(a);
  }
}

// The array whose first `rank` dimensions give the selection of compound
// variable `v`: its first selected member. Throws Error(usage_error) when
// members are selected with different ranges, as one variable cannot be.
const Array* compound_selection(const BaseType& v, size_t rank,
                                const std::string& name) {
  std::vector<const Array*> members;
  if (auto* s = dynamic_cast<const Structure*>(&v))
    selected_members(*s, members);
  if (members.empty())
    throw Error(internal_error,
                "No member of " + quoted(name) + " is selected");
  for (const Array* m : members)
    for (size_t d = 0; d < rank; ++d) {
      const Array::Dimension &x = m->dims()[d], &y = members[0]->dims()[d];
      if (x.start != y.start || x.stride != y.stride || x.c_size != y.c_size)
        throw Error(usage_error, "The members of " + quoted(name) +
                                     " are selected with different ranges; "
                                     "a file holds whole records");
    }
  return members[0];
}

}  // namespace

class NcOutputPlan::Builder {
 public:
  Builder(const NcFile& file, DDS& dds, NcOutputPlan& plan, bool whole,
          OutputFormat format)
      : d_file(file),
        d_dds(dds),
        d_plan(plan),
        d_whole(whole),
        d_netcdf4(format == OutputFormat::netcdf4) {}

  void walk(BaseType* v, int ncid, const std::string& prefix) {
    if (!v->send_p()) return;
    if (auto* s = dynamic_cast<Structure*>(v)) {
      int g = -1;
      if (nc_inq_grp_ncid(ncid, s->name().c_str(), &g) != NC_NOERR)
        return d_netcdf4 ? select(v, ncid, prefix)
                         : refuse_compound(prefix + s->name());
      for (auto it = s->var_begin(); it != s->var_end(); ++it)
        walk(*it, g, prefix + s->name() + ".");
    } else if (auto* grid = dynamic_cast<Grid*>(v)) {
      if (grid->array() && grid->array()->send_p()) {
        select(grid->array(), ncid, prefix);
        return;
      }
      for (size_t i = 0; i < grid->map_count(); ++i)
        if (grid->map(i)->send_p()) select(grid->map(i), ncid, prefix);
    } else {
      select(v, ncid, prefix);
    }
  }

  // The second pass, then the order, the record dimension and the checks.
  void finish() {
    if (d_plan.d_vars.empty())
      throw Error(usage_error, "The selection holds no variable");
    for (const NcVariable& v : d_sources) add_coordinates(v);
    if (d_netcdf4 && d_whole) add_unserved(d_file.id());
    order();
    choose_record_dimension();
    if (!d_netcdf4) check_unique_names();
    d_plan.d_globals = read_raw_attributes(d_file.id(), NC_GLOBAL);
    if (!d_omitted.empty()) {
      auto& g = d_plan.d_globals;
      const auto old = std::find_if(g.begin(), g.end(), [](const auto& a) {
        return a.name == "omitted_variables";
      });
      if (old != g.end()) g.erase(old);
      g.push_back(text_attribute("omitted_variables", d_omitted));
    }
  }

 private:
  // Throws for a compound variable, or names it among those left out.
  void refuse_compound(const std::string& name) {
    if (!d_whole)
      throw Error(usage_error, quoted(name) +
                                   " is a compound variable, which a netCDF "
                                   "file of the classic family cannot hold");
    d_omitted += (d_omitted.empty() ? "" : " ") + name;
  }

  // A variable that the constraint selects; `v`'s name is the variable's
  // (a Grid's array is named after the Grid).
  void select(BaseType* v, int ncid, const std::string& prefix) {
    int g = -1, varid = -1;
    NcVariable nv;
    if (!find_outwards(ncid, v->name(), g, varid) ||
        !describe_variable(g, varid, d_ncdims, nv))
      throw Error(internal_error,
                  "The file holds no variable " + quoted(prefix + v->name()));
    d_plan.d_selected.push_back(prefix + v->name());
    d_sources.push_back(nv);
    add(v, nv, group_prefix(g));
  }

  void add(BaseType* v, const NcVariable& nv, const std::string& prefix) {
    const auto key = std::make_pair(nv.ncid, nv.varid);
    if (d_index.count(key)) return;
    if (nv.is_compound() && !d_netcdf4)
      return refuse_compound(prefix + nv.name);
    OutputVariable ov;
    ov.name = prefix + nv.name;
    ov.ncid = nv.ncid;
    ov.varid = nv.varid;
    ov.values = v;
    const bool text = nv.xtype == NC_CHAR || nv.xtype == NC_STRING;
    ov.type = d_netcdf4 ? nv.xtype : text ? NC_CHAR : nv.value_type();
    const auto* a = dynamic_cast<const Array*>(v);
    if (a == nullptr && !nv.dimids.empty())
      a = compound_selection(*v, nv.dimids.size(), ov.name);
    for (size_t d = 0; d < nv.dimids.size(); ++d) {
      const Array::Dimension& sel = a->dims()[d];
      ov.dims.push_back(bind(nv, d, static_cast<size_t>(sel.start),
                             static_cast<size_t>(sel.stride),
                             static_cast<size_t>(sel.c_size), ov.name));
    }
    if (nv.xtype == NC_CHAR) {
      ov.string_length = nv.string_length;
      int ndims = 0;
      check_nc(nc_inq_varndims(nv.ncid, nv.varid, &ndims),
               "Cannot read " + quoted(ov.name));
      if (static_cast<size_t>(ndims) > nv.dimids.size()) {
        std::vector<int> ids(static_cast<size_t>(ndims));
        check_nc(nc_inq_vardimid(nv.ncid, nv.varid, ids.data()),
                 "Cannot read " + quoted(ov.name));
        NcVariable whole = nv;
        whole.dimids.push_back(ids.back());
        whole.dim_names.push_back(
            d_ncdims.get(nv.ncid, ids.back(), nv.name).name);
        ov.dims.push_back(bind(whole, whole.dimids.size() - 1, 0, 1,
                               nv.string_length, ov.name));
      }
    } else if (nv.xtype == NC_STRING && !d_netcdf4) {
      ov.string_length = longest_string(*v);
      d_plan.d_dims.push_back(
          {ov.name + "_strlen", -1, 0, 1, ov.string_length, false});
      ov.dims.push_back(d_plan.d_dims.size() - 1);
    }
    for (NcRawAttribute& att : read_raw_attributes(nv.ncid, nv.varid))
      if (att.name != "_FillValue" || att.type == ov.type)
        ov.attributes.push_back(std::move(att));
    d_index[key] = d_plan.d_vars.size();
    d_plan.d_vars.push_back(std::move(ov));
  }

  // The output dimension for dimension `d` of `nv` selected as given;
  // throws when it is already bound to another selection.
  size_t bind(const NcVariable& nv, size_t d, size_t start, size_t stride,
              size_t length, const std::string& var) {
    const int dimid = nv.dimids[d];
    const auto found = d_dim_index.find(dimid);
    if (found != d_dim_index.end()) {
      const OutputDimension& od = d_plan.d_dims[found->second];
      if (od.start != start || od.length != length ||
          (length > 1 && od.stride != stride))
        throw Error(usage_error,
                    "The dimension " + quoted(od.name) + " is selected as " +
                        slice(od.start, od.stride, od.length) + " for " +
                        quoted(d_binder[dimid]) + " and as " +
                        slice(start, stride, length) + " for " + quoted(var) +
                        "; a netCDF file has one length for a dimension");
      return found->second;
    }
    const int g = defining_group(nv.ncid, dimid);
    OutputDimension od;
    od.name = (g < 0 ? "" : group_prefix(g)) + nv.dim_names[d];
    od.source = dimid;
    od.start = start;
    od.stride = stride;
    od.length = length;
    d_dim_index[dimid] = d_plan.d_dims.size();
    d_binder[dimid] = var;
    d_plan.d_dims.push_back(od);
    return d_plan.d_dims.size() - 1;
  }

  static std::string slice(size_t start, size_t stride, size_t length) {
    const size_t stop = start + (length == 0 ? 0 : (length - 1) * stride);
    return "[" + std::to_string(start) + ":" + std::to_string(stride) + ":" +
           std::to_string(stop) + "]";
  }

  // The variables of group `ncid` and the groups in it that the DDS does
  // not serve (vlen and opaque types), whole: a netCDF-4 file of the whole
  // data set holds them too.
  void add_unserved(int ncid) {
    int nvars = 0;
    check_nc(nc_inq_nvars(ncid, &nvars), "Cannot read the variables");
    for (int varid = 0; varid < nvars; ++varid) {
      if (d_index.count({ncid, varid})) continue;
      NcVariable nv;
      nv.ncid = ncid;
      nv.varid = varid;
      char name[NC_MAX_NAME + 1] = {};
      int ndims = 0;
      check_nc(
          nc_inq_var(ncid, varid, name, &nv.xtype, &ndims, nullptr, nullptr),
          "Cannot read a variable");
      nv.name = name;
      nv.dimids.resize(static_cast<size_t>(ndims));
      check_nc(nc_inq_vardimid(ncid, varid, nv.dimids.data()),
               "Cannot read " + quoted(nv.name));
      OutputVariable ov;
      ov.name = group_prefix(ncid) + nv.name;
      ov.ncid = ncid;
      ov.varid = varid;
      ov.type = nv.xtype;
      for (size_t d = 0; d < nv.dimids.size(); ++d) {
        const auto& dim = d_ncdims.get(ncid, nv.dimids[d], nv.name);
        nv.dim_names.push_back(dim.name);
        ov.dims.push_back(bind(nv, d, 0, 1, dim.length, ov.name));
      }
      d_index[{ncid, varid}] = d_plan.d_vars.size();
      d_plan.d_vars.push_back(std::move(ov));
    }
    int n = 0;
    check_nc(nc_inq_grps(ncid, &n, nullptr), "Cannot read the groups");
    std::vector<int> groups(static_cast<size_t>(n));
    if (n > 0)
      check_nc(nc_inq_grps(ncid, &n, groups.data()), "Cannot read the groups");
    for (int g : groups) add_unserved(g);
  }

  // The coordinate variables of the dimensions of selected variable `nv`,
  // each an array of the DDS selected as its dimension is.
  void add_coordinates(const NcVariable& nv) {
    for (size_t d = 0; d < nv.dimids.size(); ++d) {
      NcVariable c;
      if (!coordinate_of(nv, d, d_ncdims, c)) continue;
      if (d_index.count({c.ncid, c.varid})) continue;
      const std::string prefix = group_prefix(c.ncid);
      auto* a = dynamic_cast<Array*>(d_dds.var(prefix + c.name));
      if (a == nullptr || a->dimensions() != 1) continue;
      const OutputDimension& od = d_plan.d_dims[d_dim_index.at(nv.dimids[d])];
      const size_t stop = od.start + (od.length - 1) * od.stride;
      a->add_constraint(0, static_cast<int>(od.start),
                        static_cast<int>(od.stride), static_cast<int>(stop));
      add(a, c, prefix);
    }
  }

  // Variables by group and id (the file's order), dimensions in the order
  // the variables first use them (as the nco tools write a subset).
  void order() {
    auto& vars = d_plan.d_vars;
    std::stable_sort(vars.begin(), vars.end(),
                     [](const auto& a, const auto& b) {
                       return std::make_pair(a.ncid, a.varid) <
                              std::make_pair(b.ncid, b.varid);
                     });
    auto& dims = d_plan.d_dims;
    constexpr size_t kUnplaced = SIZE_MAX;
    std::vector<size_t> where(dims.size(), kUnplaced);
    std::vector<OutputDimension> sorted;
    for (OutputVariable& v : vars) {
      for (size_t& d : v.dims) {
        if (where[d] == kUnplaced) {
          where[d] = sorted.size();
          sorted.push_back(dims[d]);
        }
        d = where[d];
      }
    }
    dims = std::move(sorted);
  }

  // The first of the file's unlimited dimensions that is selected and comes
  // first in every variable that has it; others become fixed dimensions.
  void choose_record_dimension() {
    auto& dims = d_plan.d_dims;
    for (size_t d = 0; d < dims.size(); ++d) {
      if (dims[d].source < 0 || !is_unlimited(d_file.id(), dims[d].source))
        continue;
      bool first_everywhere = true;
      for (const OutputVariable& v : d_plan.d_vars)
        for (size_t k = 1; k < v.dims.size(); ++k)
          first_everywhere = first_everywhere && v.dims[k] != d;
      if (!first_everywhere) continue;
      dims[d].record = true;
      d_plan.d_record = static_cast<int>(d);
      for (OutputVariable& v : d_plan.d_vars)
        v.record = !v.dims.empty() && v.dims[0] == d;
      return;
    }
  }

  void check_unique_names() const {
    std::set<std::string> vars, dims;
    for (const OutputVariable& v : d_plan.d_vars)
      if (!vars.insert(v.name).second)
        throw Error(usage_error, "Two variables of the selection are named " +
                                     quoted(v.name) + " in one file");
    for (const OutputDimension& d : d_plan.d_dims)
      if (!dims.insert(d.name).second)
        throw Error(usage_error, "Two dimensions of the selection are named " +
                                     quoted(d.name) + " in one file");
  }

  const NcFile& d_file;
  DDS& d_dds;
  NcOutputPlan& d_plan;
  const bool d_whole;
  const bool d_netcdf4;   // groups, user-defined types and strings kept
  std::string d_omitted;  // compound variables left out, by blanks
  NcDimensions d_ncdims;
  std::vector<NcVariable> d_sources;  // of the selected variables, in order
  std::map<std::pair<int, int>, size_t> d_index;  // (ncid, varid) to variable
  std::map<int, size_t> d_dim_index;              // dimension id to dimension
  std::map<int, std::string> d_binder;  // dimension id to its first variable
};

NcOutputPlan::NcOutputPlan(const NcFile& file, DDS& dds, bool whole,
                           OutputFormat format) {
  Builder b(file, dds, *this, whole, format);
  for (auto it = dds.var_begin(); it != dds.var_end(); ++it)
    b.walk(*it, file.id(), "");
  b.finish();
}

}  // namespace libqvp
