// The Int16 scalar variable.
#ifndef LIBQVP_INT16_H
#define LIBQVP_INT16_H

#include <libqvp/Scalar.h>

#include <cstdint>
#include <string>

namespace libqvp {

class Int16 : public Scalar<int16_t, Type::Int16> {
 public:
  explicit Int16(std::string name) : Scalar(std::move(name)) {}
};

}  // namespace libqvp

#endif  // LIBQVP_INT16_H
