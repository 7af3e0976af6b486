// The Url scalar variable.
#ifndef LIBQVP_URL_H
#define LIBQVP_URL_H

#include <cstdint>
#include <string>

#include <libqvp/Scalar.h>

namespace libqvp {

class Url : public Scalar<std::string, Type::Url> {
 public:
  explicit Url(std::string name) : Scalar(std::move(name)) {}
};

}  // namespace libqvp

#endif  // LIBQVP_URL_H
