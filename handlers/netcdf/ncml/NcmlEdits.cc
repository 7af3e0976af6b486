#include "NcmlEdits.h"

#include <libqvp/Error.h>

#include <algorithm>

#include "NcmlValues.h"

namespace libqvp {
namespace {

class Editor {
 public:
  Editor(const NcmlDocument& doc, VirtualDataSet& ds) : d_doc(doc), d_ds(ds) {}

  void dimension(const NcmlDimension& d);
  void remove(const NcmlRemove& r);
  void attribute(const NcmlAttribute& a, std::vector<VirtualAttribute>& list,
                 const std::string& owner);
  void remove_attribute(const NcmlRemove& r,
                        std::vector<VirtualAttribute>& list,
                        const std::string& owner);
  void variable(const NcmlVariable& v);

 private:
  [[noreturn]] void fail(const NcmlPlace& p, const std::string& what) const {
    throw Error(internal_error, d_doc.where(p) + what);
  }
  void new_variable(const NcmlVariable& v);

  const NcmlDocument& d_doc;
  VirtualDataSet& d_ds;
};

std::vector<VirtualAttribute>::iterator find(
    std::vector<VirtualAttribute>& list, const std::string& name) {
  return std::find_if(list.begin(), list.end(), [&](const VirtualAttribute& a) {
    return a.name == name;
  });
}

void Editor::dimension(const NcmlDimension& d) {
  if (!d.org_name.empty()) {
    const int at = d_ds.find_dim(d.org_name);
    if (at < 0)
      fail(d.place, "there is no dimension " + d.org_name + " to rename");
    d_ds.dims[static_cast<size_t>(at)].name = d.name;
  }
  const int at = d_ds.find_dim(d.name);
  if (at < 0) {
    d_ds.dims.push_back({d.name, *d.length});
    return;
  }
  if (d.length && d_ds.dims[static_cast<size_t>(at)].length != *d.length)
    fail(d.place,
         "the dimension " + d.name + " has " +
             std::to_string(d_ds.dims[static_cast<size_t>(at)].length) +
             " values; a length cannot be changed");
}

void Editor::remove_attribute(const NcmlRemove& r,
                              std::vector<VirtualAttribute>& list,
                              const std::string& owner) {
  const auto it = find(list, r.name);
  if (it == list.end())
    fail(r.place, owner + " has no attribute " + r.name + " to remove");
  list.erase(it);
}

void Editor::remove(const NcmlRemove& r) {
  if (r.type == "attribute")
    return remove_attribute(r, d_ds.globals, "the data set");
  if (r.type == "variable") {
    const int at = d_ds.find_var(r.name);
    if (at < 0) fail(r.place, "there is no variable " + r.name + " to remove");
    d_ds.vars.erase(d_ds.vars.begin() + at);
    return;
  }
  const int at = d_ds.find_dim(r.name);
  if (at < 0) fail(r.place, "there is no dimension " + r.name + " to remove");
  const size_t d = static_cast<size_t>(at);
  for (VirtualVariable& v : d_ds.vars) {
    if (std::count(v.dims.begin(), v.dims.end(), d) > 0)
      fail(r.place, "the dimension " + r.name + " is used by " + v.name);
    for (size_t& i : v.dims)
      if (i > d) --i;
  }
  d_ds.dims.erase(d_ds.dims.begin() + at);
}

void Editor::attribute(const NcmlAttribute& a,
                       std::vector<VirtualAttribute>& list,
                       const std::string& owner) {
  auto it = find(list, a.org_name.empty() ? a.name : a.org_name);
  if (!a.org_name.empty()) {
    if (it == list.end())
      fail(a.place, owner + " has no attribute " + a.org_name + " to rename");
    if (find(list, a.name) != list.end() && a.name != a.org_name)
      fail(a.place, owner + " already has an attribute " + a.name);
    it->name = a.name;
    if (!a.value) return;
  }
  const nc_type type = ncml_type(a.type, true);
  VirtualAttribute value = attribute_of(a, type, d_doc.where(a.place));
  if (it == list.end())
    list.push_back(std::move(value));
  else
    *it = std::move(value);
}

void Editor::new_variable(const NcmlVariable& v) {
  VirtualVariable out;
  out.name = v.name;
  out.type = ncml_type(v.type, false);
  if (v.type.empty() || out.type == NC_NAT)
    fail(v.place, "the new variable " + v.name + " needs a type");
  if (!v.shape) fail(v.place, "the new variable " + v.name + " needs a shape");
  if (!v.values.present)
    fail(v.place, "the new variable " + v.name + " needs <values>");
  for (const std::string& dim : split_values(*v.shape, "")) {
    const int at = d_ds.find_dim(dim);
    if (at < 0)
      fail(v.place, "the shape of " + v.name + " names no dimension " + dim);
    out.dims.push_back(static_cast<size_t>(at));
  }
  if (out.type == NC_CHAR && !out.dims.empty())
    fail(v.place,
         "a char variable of more than one string is not supported; "
         "give it type String");
  fill_values(v.values, d_ds.element_count(out), out,
              d_doc.where(v.values.place));
  for (const NcmlAttribute& a : v.attributes)
    attribute(a, out.attributes, v.name);
  d_ds.vars.push_back(std::move(out));
}

void Editor::variable(const NcmlVariable& v) {
  const std::string& old_name = v.org_name.empty() ? v.name : v.org_name;
  const int at = d_ds.find_var(old_name);
  if (at < 0) {
    if (!v.org_name.empty())
      fail(v.place, "there is no variable " + v.org_name + " to rename");
    return new_variable(v);
  }
  if (!v.org_name.empty() && v.name != v.org_name && d_ds.find_var(v.name) >= 0)
    fail(v.place, "there already is a variable " + v.name);
  VirtualVariable& out = d_ds.vars[static_cast<size_t>(at)];
  if (!v.type.empty() && ncml_type(v.type, false) != out.type)
    fail(v.place, "the type of " + old_name + " cannot be changed");
  if (v.shape) fail(v.place, "the shape of " + old_name + " cannot be changed");
  out.name = v.name;
  for (const NcmlRemove& r : v.removes)
    remove_attribute(r, out.attributes, v.name);
  for (const NcmlAttribute& a : v.attributes)
    attribute(a, out.attributes, v.name);
  if (v.values.present) {
    fill_values(v.values, d_ds.element_count(out), out,
                d_doc.where(v.values.place));
    out.source = ValueSource::own;
  }
}

}  // namespace

void apply_edits(const NcmlDocument& doc, VirtualDataSet& ds) {
  Editor e(doc, ds);
  for (const NcmlDimension& d : doc.dimensions) e.dimension(d);
  for (const NcmlRemove& r : doc.removes) e.remove(r);
  for (const NcmlAttribute& a : doc.attributes)
    e.attribute(a, ds.globals, "the data set");
  for (const NcmlVariable& v : doc.variables) e.variable(v);
}

}  // namespace libqvp
