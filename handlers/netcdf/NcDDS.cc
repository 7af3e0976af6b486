// Building the DDS: one top-level variable per netCDF variable.
#include "NcDDS.h"

#include <libqvp/Byte.h>
#include <libqvp/Float32.h>
#include <libqvp/Float64.h>
#include <libqvp/Grid.h>
#include <libqvp/Int16.h>
#include <libqvp/Int32.h>
#include <libqvp/Str.h>
#include <libqvp/UInt16.h>
#include <libqvp/UInt32.h>
#include <netcdf.h>

#include <memory>
#include <vector>

#include "NcReader.h"
#include "NcScalar.h"
#include "NcVariable.h"

namespace libqvp {
namespace {

// A scalar of `v`'s type: a plain prototype for an array's element, or one
// that reads its value from the file.
template <template <class> class Wrap>
std::unique_ptr<BaseType> scalar_of(const NcVariable& v) {
  switch (v.type) {
    case Type::Byte:
      return std::make_unique<Wrap<Byte>>(v);
    case Type::Int16:
      return std::make_unique<Wrap<Int16>>(v);
    case Type::UInt16:
      return std::make_unique<Wrap<UInt16>>(v);
    case Type::Int32:
      return std::make_unique<Wrap<Int32>>(v);
    case Type::UInt32:
      return std::make_unique<Wrap<UInt32>>(v);
    case Type::Float32:
      return std::make_unique<Wrap<Float32>>(v);
    case Type::Float64:
      return std::make_unique<Wrap<Float64>>(v);
    default:
      return std::make_unique<Wrap<Str>>(v);
  }
}

template <class Base>
class Prototype : public Base {
 public:
  explicit Prototype(const NcVariable& v) : Base(v.name) {}
};

std::unique_ptr<Array> array_of(const NcVariable& v) {
  auto a = std::make_unique<Array>(v.name, scalar_of<Prototype>(v));
  for (size_t d = 0; d < v.dim_sizes.size(); ++d)
    a->append_dim(static_cast<int>(v.dim_sizes[d]), v.dim_names[d]);
  a->set_box_reader(nc_box_reader(v));
  return a;
}

// The coordinate variable of dimension `d` of `v`: a one-dimensional numeric
// variable named after the dimension, along it. False when there is none.
bool coordinate_of(const NcVariable& v, size_t d, NcVariable& c) {
  int cid = -1;
  if (nc_inq_varid(v.ncid, v.dim_names[d].c_str(), &cid) != NC_NOERR)
    return false;
  if (cid == v.varid || !describe_variable(v.ncid, cid, c)) return false;
  return c.type != Type::String && c.dimids.size() == 1 &&
         c.dimids[0] == v.dimids[d];
}

// The maps of `v` when every dimension has a coordinate variable; empty
// otherwise.
std::vector<NcVariable> maps_of(const NcVariable& v) {
  std::vector<NcVariable> maps(v.dimids.size());
  for (size_t d = 0; d < v.dimids.size(); ++d)
    if (!coordinate_of(v, d, maps[d])) return {};
  return maps;
}

std::unique_ptr<BaseType> variable_of(const NcVariable& v) {
  if (v.dimids.empty()) return scalar_of<NcScalar>(v);
  const std::vector<NcVariable> maps = maps_of(v);
  if (maps.empty()) return array_of(v);
  auto grid = std::make_unique<Grid>(v.name);
  grid->set_array(array_of(v));
  for (const NcVariable& m : maps) grid->add_map(array_of(m));
  return grid;
}

}  // namespace

void build_dds(const NcFile& file, DDS& dds) {
  dds.set_dataset_name(file.name());
  int nvars = 0;
  check_nc(nc_inq_nvars(file.id(), &nvars), "Cannot read the variables");
  for (int varid = 0; varid < nvars; ++varid) {
    NcVariable v;
    if (describe_variable(file.id(), varid, v)) dds.add_var(variable_of(v));
  }
}

}  // namespace libqvp
