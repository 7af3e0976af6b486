// Scalars of the core types whose value is read from a netCDF file when first
// needed, and plain scalars that serve as an array's element prototype.
#ifndef QVP_NC_NCSCALAR_H
#define QVP_NC_NCSCALAR_H

#include <libqvp/BaseType.h>
#include <libqvp/Type.h>
#include <netcdf.h>

#include <functional>
#include <memory>
#include <string>

namespace libqvp {

// Stores one value of the scalar's value type (uint8_t ... double,
// std::string) at `value`. May throw Error.
using ValueLoader = std::function<void(void* value)>;

// A scalar of type `t` (Byte ... Float64, String, Url) named `name`. With a
// loader, its read() calls the loader once for the value (Error passes
// through); without one it is a plain scalar, an array's element prototype.
// `source` is the netCDF type of the values it serves; for 64-bit integers
// the scalar carries WideIntegerMark. Throws Error(internal_error) when `t`
// is not a scalar type.
std::unique_ptr<BaseType> make_scalar(Type t, const std::string& name,
                                      ValueLoader load = nullptr,
                                      nc_type source = NC_NAT);

// Carried by the scalars (and arrays' element prototypes) that serve
// netCDF's 64-bit integers as Float64, whose values may have no exact
// Float64 form.
class WideIntegerMark {
 public:
  virtual ~WideIntegerMark() = default;
};

// True when `v` serves 64-bit integers: a scalar with WideIntegerMark, or an
// array whose element prototype has it.
bool serves_wide_integers(const BaseType& v);

}  // namespace libqvp

#endif  // QVP_NC_NCSCALAR_H
