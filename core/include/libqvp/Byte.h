// The Byte scalar variable.
#ifndef LIBQVP_BYTE_H
#define LIBQVP_BYTE_H

#include <libqvp/Scalar.h>

#include <cstdint>
#include <string>

namespace libqvp {

class Byte : public Scalar<uint8_t, Type::Byte> {
 public:
  explicit Byte(std::string name) : Scalar(std::move(name)) {}
};

}  // namespace libqvp

#endif  // LIBQVP_BYTE_H
