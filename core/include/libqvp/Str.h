// The String scalar variable.
#ifndef LIBQVP_STR_H
#define LIBQVP_STR_H

#include <libqvp/Scalar.h>

#include <cstdint>
#include <string>

namespace libqvp {

class Str : public Scalar<std::string, Type::String> {
 public:
  explicit Str(std::string name) : Scalar(std::move(name)) {}
};

}  // namespace libqvp

#endif  // LIBQVP_STR_H
