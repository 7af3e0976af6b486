#include "InexactValue.h"

namespace libqvp {

InexactValue::InexactValue(const std::string& variable,
                           const std::string& value, size_t position)
    : Error(internal_error, "A value of \"" + variable + "\" (" + value +
                                ") has no exact Float64 form"),
      d_value(value),
      d_position(position) {}

}  // namespace libqvp
