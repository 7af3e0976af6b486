// Scalars of the core types whose value is read from a netCDF file when first
// needed, and plain scalars that serve as an array's element prototype.
#ifndef QVP_NC_NCSCALAR_H
#define QVP_NC_NCSCALAR_H

#include <libqvp/BaseType.h>
#include <libqvp/Type.h>

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
// Throws Error(internal_error) when `t` is not a scalar type.
std::unique_ptr<BaseType> make_scalar(Type t, const std::string& name,
                                      ValueLoader load = nullptr);

}  // namespace libqvp

#endif  // QVP_NC_NCSCALAR_H
