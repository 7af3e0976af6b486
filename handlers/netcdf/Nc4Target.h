// The groups and user-defined types of a netCDF-4 download, made in the
// output file as the source file has them, each when it is first needed.
#ifndef QVP_NC_NC4TARGET_H
#define QVP_NC_NC4TARGET_H

#include <netcdf.h>

#include <map>

namespace libqvp {

class Nc4Target {
 public:
  // `source` is the root group of the file read, `target` that of the file
  // written (netCDF-4, in define mode); both must stay open while this
  // object is used.
  Nc4Target(int source, int target);

  // The output group for source group `group`, made with its ancestors
  // (each with its name and attributes) when missing. Throws
  // Error(internal_error) when netCDF fails.
  int group(int group);

  // The output type for source type `type`: an atomic type is itself; a
  // user-defined one (compound, enum, vlen, opaque) is defined in the output
  // group of the source group that defines it, together with every other
  // type of that group, in the source's order (the types a type is made of
  // first). Throws Error(internal_error) when netCDF fails.
  nc_type type(nc_type type);

  // Copies every attribute of variable `varid` of source group `group`
  // (NC_GLOBAL: the group's own) onto `out_varid` of `out_group`, types
  // kept. Throws Error(internal_error) when netCDF fails.
  void copy_attributes(int group, int varid, int out_group, int out_varid);

 private:
  void find_type_groups(int group);
  // Defines source type `type` of `source_group` in the output.
  void define(nc_type type, int source_group);

  int d_source, d_target;
  std::map<int, int> d_groups;          // source group to output group
  std::map<nc_type, nc_type> d_types;   // source type to output type
  std::map<nc_type, int> d_type_group;  // source type to its source group
};

}  // namespace libqvp

#endif  // QVP_NC_NC4TARGET_H
