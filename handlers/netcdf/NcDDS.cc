// Building the DDS: one variable per netCDF variable, and a Structure per
// group holding its variables and groups in turn.
#include "NcDDS.h"

#include <libqvp/Grid.h>
#include <libqvp/Structure.h>
#include <netcdf.h>

#include <functional>
#include <memory>
#include <vector>

#include "NcCompound.h"
#include "NcCoordinates.h"
#include "NcDimensions.h"
#include "NcEnum.h"
#include "NcGroupWalker.h"
#include "NcReader.h"
#include "NcScalar.h"
#include "NcVariable.h"

namespace libqvp {
namespace {

using AddVar = std::function<void(std::unique_ptr<BaseType>)>;

std::unique_ptr<Array> array_of(const NcVariable& v) {
  auto a = std::make_unique<Array>(
      v.name, make_scalar(v.type, v.name, nullptr, v.value_type()));
  for (size_t d = 0; d < v.dim_sizes.size(); ++d)
    a->append_dim(static_cast<int>(v.dim_sizes[d]), v.dim_names[d]);
  if (v.base == NC_NAT)
    a->set_box_reader(nc_box_reader(v));
  else
    a->set_box_reader(
        [v](const Array&, const std::vector<size_t>& start,
            const std::vector<size_t>& stride, const std::vector<size_t>& count,
            void* out) { read_served_box(v, start, stride, count, out); });
  return a;
}

// The maps of `v` when every dimension has a coordinate variable; empty
// otherwise.
std::vector<NcVariable> maps_of(const NcVariable& v, NcDimensions& dims) {
  std::vector<NcVariable> maps(v.dimids.size());
  for (size_t d = 0; d < v.dimids.size(); ++d)
    if (!coordinate_of(v, d, dims, maps[d])) return {};
  return maps;
}

std::unique_ptr<BaseType> variable_of(const NcVariable& v, NcDimensions& dims) {
  if (v.is_compound()) return compound_variable(describe_compound(v));
  if (v.dimids.empty())
    return make_scalar(
        v.type, v.name,
        [v](void* value) { read_served_box(v, {}, {}, {}, value); },
        v.value_type());
  const std::vector<NcVariable> maps = maps_of(v, dims);
  if (maps.empty()) return array_of(v);
  auto grid = std::make_unique<Grid>(v.name);
  grid->set_array(array_of(v));
  for (const NcVariable& m : maps) grid->add_map(array_of(m));
  return grid;
}

// What walking the groups of one file keeps: the group bound and the
// dimensions read so far.
struct GroupDds {
  NcGroupWalker walker;
  NcDimensions dims;
};

void add_group(int ncid, int depth, GroupDds& state, const AddVar& add) {
  int nvars = 0;
  check_nc(nc_inq_nvars(ncid, &nvars), "Cannot read the variables");
  for (int varid = 0; varid < nvars; ++varid) {
    NcVariable v;
    if (describe_variable(ncid, varid, state.dims, v))
      add(variable_of(v, state.dims));
  }
  for (int child : state.walker.children(ncid, depth)) {
    auto s = std::make_unique<Structure>(group_name(child));
    Structure* group = s.get();
    add_group(child, depth + 1, state, [group](std::unique_ptr<BaseType> var) {
      group->add_var(std::move(var));
    });
    add(std::move(s));
  }
}

}  // namespace

void build_dds(const NcFile& file, DDS& dds) {
  dds.set_dataset_name(file.name());
  GroupDds state;
  add_group(file.id(), 0, state, [&dds](std::unique_ptr<BaseType> var) {
    dds.add_var(std::move(var));
  });
}

}  // namespace libqvp
