#include "MemberHeader.h"

#include <libqvp/Error.h>

#include <algorithm>

#include "NcFile.h"

namespace libqvp {
namespace {

constexpr size_t kMaxAttributeBytes = size_t{16} << 20;

// The atomic type that serves `xtype` of `ncid`: itself, an enum's base type,
// or NC_NAT for other user-defined types.
nc_type atomic_type(int ncid, nc_type xtype) {
  if (xtype <= NC_MAX_ATOMIC_TYPE) return xtype;
  int klass = 0;
  nc_type base = NC_NAT;
  if (nc_inq_user_type(ncid, xtype, nullptr, nullptr, &base, nullptr, &klass) !=
          NC_NOERR ||
      klass != NC_ENUM)
    return NC_NAT;
  return base;
}

VirtualAttribute read_attribute(int ncid, int varid, const char* att,
                                nc_type xtype, size_t len,
                                const std::string& context) {
  VirtualAttribute a;
  a.name = att;
  a.type = atomic_type(ncid, xtype);
  a.count = len;
  if (a.type == NC_STRING) {
    std::vector<char*> raw(len, nullptr);
    check_nc(nc_get_att_string(ncid, varid, att, raw.data()), context);
    for (char* s : raw) a.strings.emplace_back(s != nullptr ? s : "");
    nc_free_string(len, raw.data());
    return a;
  }
  const size_t bytes = value_bytes(a.type) * len;
  if (bytes > kMaxAttributeBytes)
    throw Error(internal_error, context + ": larger than 16 MiB");
  a.bytes.assign(bytes, '\0');
  if (bytes > 0)
    check_nc(nc_get_att(ncid, varid, att, a.bytes.data()), context);
  return a;
}

}  // namespace

std::vector<VirtualAttribute> read_attributes(
    int ncid, int varid, const std::string& name,
    std::vector<std::string>& omitted) {
  int natts = 0;
  const std::string context = "Cannot read the attributes of \"" + name + "\"";
  check_nc(varid == NC_GLOBAL ? nc_inq_natts(ncid, &natts)
                              : nc_inq_varnatts(ncid, varid, &natts),
           context);
  std::vector<VirtualAttribute> out;
  for (int i = 0; i < natts; ++i) {
    char att[NC_MAX_NAME + 1] = {};
    nc_type xtype = NC_NAT;
    size_t len = 0;
    check_nc(nc_inq_attname(ncid, varid, i, att), context);
    check_nc(nc_inq_att(ncid, varid, att, &xtype, &len), context);
    if (atomic_type(ncid, xtype) == NC_NAT) {
      omitted.push_back(name + " attribute " + att);
      continue;
    }
    out.push_back(read_attribute(ncid, varid, att, xtype, len, context));
  }
  return out;
}

void read_member_header(int ncid, uint32_t member, const std::string& name,
                        VirtualDataSet& out,
                        std::vector<std::string>& omitted) {
  const std::string context = "Cannot read the header of \"" + name + "\"";
  int ndims = 0, nvars = 0;
  check_nc(nc_inq_dimids(ncid, &ndims, nullptr, 0), context);
  std::vector<int> dimids(static_cast<size_t>(ndims));
  if (ndims > 0)
    check_nc(nc_inq_dimids(ncid, &ndims, dimids.data(), 0), context);
  std::vector<int> position(
      dimids.empty() ? 0
                     : static_cast<size_t>(
                           *std::max_element(dimids.begin(), dimids.end()) + 1),
      -1);
  for (int id : dimids) {
    char dim[NC_MAX_NAME + 1] = {};
    size_t len = 0;
    check_nc(nc_inq_dim(ncid, id, dim, &len), context);
    position[static_cast<size_t>(id)] = static_cast<int>(out.dims.size());
    out.dims.push_back({dim, len});
  }
  out.globals = read_attributes(ncid, NC_GLOBAL, name, omitted);
  check_nc(nc_inq_nvars(ncid, &nvars), context);
  for (int varid = 0; varid < nvars; ++varid) {
    char var[NC_MAX_NAME + 1] = {};
    nc_type xtype = NC_NAT;
    int nd = 0;
    int ids[NC_MAX_VAR_DIMS];
    check_nc(nc_inq_var(ncid, varid, var, &xtype, &nd, ids, nullptr), context);
    VirtualVariable v;
    v.name = var;
    v.type = atomic_type(ncid, xtype);
    if (v.type == NC_NAT) {
      omitted.push_back(v.name);
      continue;
    }
    for (int d = 0; d < nd; ++d) {
      const size_t id = static_cast<size_t>(ids[d]);
      if (id >= position.size() || position[id] < 0)
        throw Error(internal_error,
                    context + ": \"" + v.name +
                        "\" has a dimension of an enclosing group");
      v.dims.push_back(static_cast<size_t>(position[id]));
    }
    v.attributes = read_attributes(ncid, varid, v.name, omitted);
    v.source = ValueSource::member;
    v.member = member;
    v.member_name = v.name;
    out.vars.push_back(std::move(v));
  }
}

}  // namespace libqvp
