// The String scalar variable.
#ifndef LIBQVP_STR_H
#define LIBQVP_STR_H

#include <cstdint>
#include <string>

#include <libqvp/Scalar.h>

namespace libqvp {

class Str : public Scalar<std::string, Type::String> {
 public:
  explicit Str(std::string name) : Scalar(std::move(name)) {}
};

}  // namespace libqvp

#endif  // LIBQVP_STR_H
