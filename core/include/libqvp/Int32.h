// The Int32 scalar variable.
#ifndef LIBQVP_INT32_H
#define LIBQVP_INT32_H

#include <libqvp/Scalar.h>

#include <cstdint>
#include <string>

namespace libqvp {

class Int32 : public Scalar<int32_t, Type::Int32> {
 public:
  explicit Int32(std::string name) : Scalar(std::move(name)) {}
};

}  // namespace libqvp

#endif  // LIBQVP_INT32_H
