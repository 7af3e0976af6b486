// The Float64 scalar variable.
#ifndef LIBQVP_FLOAT64_H
#define LIBQVP_FLOAT64_H

#include <libqvp/Scalar.h>

#include <cstdint>
#include <string>

namespace libqvp {

class Float64 : public Scalar<double, Type::Float64> {
 public:
  explicit Float64(std::string name) : Scalar(std::move(name)) {}
};

}  // namespace libqvp

#endif  // LIBQVP_FLOAT64_H
