// The value of a scalar variable in the two forms that comparisons and
// functions work with: a number widened to double, or a string.
#ifndef LIBQVP_SCALARVALUE_H
#define LIBQVP_SCALARVALUE_H

#include <libqvp/BaseType.h>

#include <string>

namespace libqvp {

struct ScalarValue {
  bool is_string = false;  // String and Url values
  double number = 0;       // numeric values, widened
  std::string str;
};

// Reads the value that the scalar `v` holds now into `out` (numbers widened
// to double); it does not call read(). False when `v` is not a scalar or not
// an object of the value class its type names.
bool read_scalar(const BaseType* v, ScalarValue& out);

}  // namespace libqvp

#endif  // LIBQVP_SCALARVALUE_H
