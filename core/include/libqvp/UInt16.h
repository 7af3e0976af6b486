// The UInt16 scalar variable.
#ifndef LIBQVP_UINT16_H
#define LIBQVP_UINT16_H

#include <libqvp/Scalar.h>

#include <cstdint>
#include <string>

namespace libqvp {

class UInt16 : public Scalar<uint16_t, Type::UInt16> {
 public:
  explicit UInt16(std::string name) : Scalar(std::move(name)) {}
};

}  // namespace libqvp

#endif  // LIBQVP_UINT16_H
