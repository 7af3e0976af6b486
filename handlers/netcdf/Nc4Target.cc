// netCDF has no call that copies a type or a group between files; both are
// read from the source with the inquiry calls and defined again. A
// compound's offsets and size are those of this process's memory in both
// files, so values read from one are written to the other unchanged.
#include "Nc4Target.h"

#include <libqvp/Error.h>

#include <string>
#include <vector>

#include "NcFile.h"

namespace libqvp {
namespace {

const char* const kWrite = "Cannot write the netCDF-4 file";

std::string type_context(const char* name) {
  return std::string(kWrite) + ": the type \"" + name + "\"";
}

}  // namespace

Nc4Target::Nc4Target(int source, int target)
    : d_source(source), d_target(target) {
  d_groups[source] = target;
}

int Nc4Target::group(int group) {
  const auto found = d_groups.find(group);
  if (found != d_groups.end()) return found->second;
  int parent = -1;
  check_nc(nc_inq_grp_parent(group, &parent), kWrite);
  const int out_parent = this->group(parent);
  char name[NC_MAX_NAME + 1] = {};
  check_nc(nc_inq_grpname(group, name), kWrite);
  int out = -1;
  check_nc(nc_def_grp(out_parent, name, &out), kWrite);
  d_groups[group] = out;
  copy_attributes(group, NC_GLOBAL, out, NC_GLOBAL);
  return out;
}

void Nc4Target::find_type_groups(int group) {
  int n = 0;
  check_nc(nc_inq_typeids(group, &n, nullptr), kWrite);
  std::vector<nc_type> ids(static_cast<size_t>(n));
  if (n > 0) check_nc(nc_inq_typeids(group, &n, ids.data()), kWrite);
  for (nc_type t : ids) d_type_group[t] = group;
  check_nc(nc_inq_grps(group, &n, nullptr), kWrite);
  std::vector<int> children(static_cast<size_t>(n));
  if (n > 0) check_nc(nc_inq_grps(group, &n, children.data()), kWrite);
  for (int child : children) find_type_groups(child);
}

nc_type Nc4Target::type(nc_type type) {
  if (type <= NC_MAX_ATOMIC_TYPE) return type;
  const auto found = d_types.find(type);
  if (found != d_types.end()) return found->second;
  if (d_type_group.empty()) find_type_groups(d_source);
  const auto where = d_type_group.find(type);
  if (where == d_type_group.end())
    throw Error(internal_error, std::string(kWrite) + ": the type " +
                                    std::to_string(type) + " is not defined");
  // Every type of the group, in the source's order: readers that resolve
  // a compound's members in the order the types come expect it.
  int n = 0;
  check_nc(nc_inq_typeids(where->second, &n, nullptr), kWrite);
  std::vector<nc_type> ids(static_cast<size_t>(n));
  if (n > 0) check_nc(nc_inq_typeids(where->second, &n, ids.data()), kWrite);
  for (nc_type t : ids)
    if (d_types.count(t) == 0) define(t, where->second);
  return d_types.at(type);
}

void Nc4Target::define(nc_type type, int source_group) {
  char name[NC_MAX_NAME + 1] = {};
  size_t size = 0, nfields = 0;
  nc_type base = NC_NAT;
  int type_class = 0;
  check_nc(nc_inq_user_type(d_source, type, name, &size, &base, &nfields,
                            &type_class),
           kWrite);
  const std::string context = type_context(name);
  // The base of an enum or vlen, and the member types of a compound, are
  // made before the group is entered: making them may make groups too.
  const nc_type out_base = type_class == NC_VLEN ? this->type(base) : base;
  const int g = group(source_group);
  nc_type out = NC_NAT;
  switch (type_class) {
    case NC_COMPOUND: {
      struct Field {
        char name[NC_MAX_NAME + 1] = {};
        size_t offset = 0;
        nc_type type = NC_NAT;
        int ndims = 0;
        int sizes[NC_MAX_VAR_DIMS] = {};
      };
      std::vector<Field> fields(nfields);
      for (size_t i = 0; i < nfields; ++i) {
        Field& f = fields[i];
        check_nc(
            nc_inq_compound_field(d_source, type, static_cast<int>(i), f.name,
                                  &f.offset, &f.type, &f.ndims, f.sizes),
            context);
        f.type = this->type(f.type);
      }
      check_nc(nc_def_compound(g, size, name, &out), context);
      for (const Field& f : fields)
        check_nc(f.ndims == 0
                     ? nc_insert_compound(g, out, f.name, f.offset, f.type)
                     : nc_insert_array_compound(g, out, f.name, f.offset,
                                                f.type, f.ndims, f.sizes),
                 context);
      break;
    }
    case NC_ENUM: {
      check_nc(nc_def_enum(g, base, name, &out), context);
      long long value = 0;  // room for any base type's value
      for (size_t i = 0; i < nfields; ++i) {
        char member[NC_MAX_NAME + 1] = {};
        check_nc(nc_inq_enum_member(d_source, type, static_cast<int>(i), member,
                                    &value),
                 context);
        check_nc(nc_insert_enum(g, out, member, &value), context);
      }
      break;
    }
    case NC_VLEN:
      check_nc(nc_def_vlen(g, name, out_base, &out), context);
      break;
    case NC_OPAQUE:
      check_nc(nc_def_opaque(g, size, name, &out), context);
      break;
    default:
      throw Error(internal_error, context + " has an unknown class");
  }
  d_types[type] = out;
}

void Nc4Target::copy_attributes(int group, int varid, int out_group,
                                int out_varid) {
  int natts = 0;
  check_nc(varid == NC_GLOBAL ? nc_inq_natts(group, &natts)
                              : nc_inq_varnatts(group, varid, &natts),
           kWrite);
  for (int i = 0; i < natts; ++i) {
    char name[NC_MAX_NAME + 1] = {};
    nc_type t = NC_NAT;
    check_nc(nc_inq_attname(group, varid, i, name), kWrite);
    check_nc(nc_inq_atttype(group, varid, name, &t), kWrite);
    type(t);  // nc_copy_att finds a user-defined type by its definition
    check_nc(nc_copy_att(group, varid, name, out_group, out_varid),
             std::string(kWrite) + ": the attribute \"" + name + "\"");
  }
}

}  // namespace libqvp
