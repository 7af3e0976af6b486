// A 64-bit netCDF integer that a Float64 cannot hold exactly: 64-bit
// integers are served as Float64, and a rounded value is never sent.
#ifndef QVP_NC_INEXACTVALUE_H
#define QVP_NC_INEXACTVALUE_H

#include <libqvp/Error.h>

#include <cstddef>
#include <string>
#include <type_traits>

namespace libqvp {

// True when the 64-bit integer `v` has an exact Float64 form.
template <typename T>
bool has_exact_double(T v) {
  static_assert(std::is_integral_v<T> && sizeof(T) == 8);
  constexpr double kLimit =
      std::is_signed_v<T> ? 9223372036854775808.0 : 18446744073709551616.0;
  const double d = static_cast<double>(v);
  return d < kLimit && static_cast<T>(d) == v;
}

// Thrown by the readers on such a value: an Error(internal_error) that also
// says where the value stood among those one read was filling, so that a
// check of a whole selection can name the value's index.
class InexactValue : public Error {
 public:
  // `variable` names the variable, `value` is the value in decimal and
  // `position` its place in the reader's output (0 for the first value).
  InexactValue(const std::string& variable, const std::string& value,
               size_t position);

  const std::string& value() const { return d_value; }
  size_t position() const { return d_position; }

 private:
  std::string d_value;
  size_t d_position;
};

}  // namespace libqvp

#endif  // QVP_NC_INEXACTVALUE_H
