// The Float32 scalar variable.
#ifndef LIBQVP_FLOAT32_H
#define LIBQVP_FLOAT32_H

#include <libqvp/Scalar.h>

#include <cstdint>
#include <string>

namespace libqvp {

class Float32 : public Scalar<float, Type::Float32> {
 public:
  explicit Float32(std::string name) : Scalar(std::move(name)) {}
};

}  // namespace libqvp

#endif  // LIBQVP_FLOAT32_H
