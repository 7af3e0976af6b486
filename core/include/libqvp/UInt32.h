// The UInt32 scalar variable.
#ifndef LIBQVP_UINT32_H
#define LIBQVP_UINT32_H

#include <libqvp/Scalar.h>

#include <cstdint>
#include <string>

namespace libqvp {

class UInt32 : public Scalar<uint32_t, Type::UInt32> {
 public:
  explicit UInt32(std::string name) : Scalar(std::move(name)) {}
};

}  // namespace libqvp

#endif  // LIBQVP_UINT32_H
