// The Url scalar variable.
#ifndef LIBQVP_URL_H
#define LIBQVP_URL_H

#include <libqvp/Scalar.h>

#include <cstdint>
#include <string>

namespace libqvp {

class Url : public Scalar<std::string, Type::Url> {
 public:
  explicit Url(std::string name) : Scalar(std::move(name)) {}
};

}  // namespace libqvp

#endif  // LIBQVP_URL_H
