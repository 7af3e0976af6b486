// The built-in server-side functions that every ConstraintEvaluator
// registers. Both have ConstraintEvaluator::Function's signature.
#ifndef LIBQVP_FUNCTIONS_H
#define LIBQVP_FUNCTIONS_H

#include <libqvp/BaseType.h>
#include <libqvp/DDS.h>

#include <memory>
#include <string>
#include <vector>

namespace libqvp {

// version(): a String named "version" holding "libqvp/9.0.0". Throws
// Error(type_mismatch) when given arguments.
std::unique_ptr<BaseType> function_version(const std::vector<BaseType*>& args,
                                           DDS& dds,
                                           const std::string& dataset);

// linear_scale(var[, m, b]): var * m + b as Float64 values: an Array of the
// selected shape for a numeric Array or a Grid (its array), a Float64 for a
// numeric scalar. Without m and b they come from var's "scale_factor" and
// "add_offset" attributes (1 and 0 when absent). Throws Error(type_mismatch)
// for another argument count, a var that is not numeric, or an m, b or
// attribute that is not a number.
std::unique_ptr<BaseType> function_linear_scale(
    const std::vector<BaseType*>& args, DDS& dds, const std::string& dataset);

}  // namespace libqvp

#endif  // LIBQVP_FUNCTIONS_H
