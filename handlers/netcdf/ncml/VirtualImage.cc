#include "VirtualImage.h"

#include <libqvp/Error.h>
#include <netcdf.h>
#include <netcdf_mem.h>

#include <cstdlib>
#include <vector>

#include "NcFile.h"

namespace libqvp {
namespace {

void put_attribute(int ncid, int varid, const VirtualAttribute& a,
                   const std::string& context) {
  if (a.type == NC_STRING) {
    std::vector<const char*> p;
    for (const std::string& s : a.strings) p.push_back(s.c_str());
    check_nc(nc_put_att_string(ncid, varid, a.name.c_str(), p.size(), p.data()),
             context);
    return;
  }
  check_nc(
      nc_put_att(ncid, varid, a.name.c_str(), a.type, a.count, a.bytes.data()),
      context);
}

// Closes the in-memory file if writing it fails half way.
struct OpenImage {
  int ncid = -1;
  ~OpenImage() {
    if (ncid >= 0) nc_abort(ncid);
  }
};

}  // namespace

std::string write_image(const VirtualDataSet& ds, const std::string& name) {
  const std::string context = "Cannot describe \"" + name + "\"";
  OpenImage image;
  check_nc(nc_create_mem("ncml", NC_NETCDF4, 1 << 16, &image.ncid), context);
  const int nc = image.ncid;
  int old_fill = 0;
  check_nc(nc_set_fill(nc, NC_NOFILL, &old_fill), context);
  std::vector<int> dimids;
  for (const VirtualDimension& d : ds.dims) {
    int id = -1;
    check_nc(nc_def_dim(nc, d.name.c_str(), d.length, &id),
             context + ": dimension " + d.name);
    dimids.push_back(id);
  }
  for (const VirtualAttribute& a : ds.globals)
    put_attribute(nc, NC_GLOBAL, a, context + ": attribute " + a.name);
  std::vector<int> varids;
  for (const VirtualVariable& v : ds.vars) {
    std::vector<int> ids;
    for (size_t d : v.dims) ids.push_back(dimids[d]);
    int id = -1;
    const std::string vc = context + ": variable " + v.name;
    check_nc(nc_def_var(nc, v.name.c_str(), v.type,
                        static_cast<int>(ids.size()), ids.data(), &id),
             vc);
    for (const VirtualAttribute& a : v.attributes) {
      // A fill value must have the variable's type; a coordinate whose type
      // changed (converted times) loses one that no longer fits.
      if (a.name == "_FillValue" && a.type != v.type) continue;
      put_attribute(nc, id, a, vc + ", attribute " + a.name);
    }
    varids.push_back(id);
  }
  check_nc(nc_enddef(nc), context);
  for (size_t i = 0; i < ds.vars.size(); ++i) {
    const VirtualVariable& v = ds.vars[i];
    if (v.source != ValueSource::own || ds.element_count(v) == 0) continue;
    const std::string vc = context + ": values of " + v.name;
    const size_t n = ds.element_count(v);
    if (v.type == NC_STRING ? v.strings.size() != n
                            : v.values.size() != n * value_bytes(v.type))
      throw Error(internal_error, vc + " do not match its shape");
    if (v.type == NC_STRING) {
      std::vector<const char*> p;
      for (const std::string& s : v.strings) p.push_back(s.c_str());
      check_nc(nc_put_var_string(nc, varids[i], p.data()), vc);
    } else {
      check_nc(nc_put_var(nc, varids[i], v.values.data()), vc);
    }
  }
  NC_memio mem{};
  const int status = nc_close_memio(nc, &mem);
  image.ncid = -1;
  check_nc(status, context);
  std::string bytes(static_cast<const char*>(mem.memory), mem.size);
  std::free(mem.memory);
  return bytes;
}

}  // namespace libqvp
