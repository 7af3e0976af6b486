// A scalar variable whose value is read from a netCDF file when first needed.
#ifndef QVP_NC_NCSCALAR_H
#define QVP_NC_NCSCALAR_H

#include <utility>

#include "NcReader.h"
#include "NcVariable.h"

namespace libqvp {

// `Base` is one of the core's scalar classes (Byte ... Float64, Str) whose
// value type matches `v.type`. The file must stay open until read() ran.
template <class Base>
class NcScalar : public Base {
 public:
  explicit NcScalar(const NcVariable& v) : Base(v.name), d_var(v) {}

  // Throws Error(internal_error) when netCDF cannot read the value.
  bool read() override {
    typename Base::value_type value{};
    read_nc_box(d_var, {}, {}, {}, &value);
    this->set_value(std::move(value));
    return true;
  }

 private:
  NcVariable d_var;
};

}  // namespace libqvp

#endif  // QVP_NC_NCSCALAR_H
