// The one dispatch from a scalar type to its C++ types. Every place that
// treats the scalar types one by one goes through visit_scalar, so a new
// scalar type is added here and in the code that names it, nowhere else.
#ifndef LIBQVP_VISIT_SCALAR_H
#define LIBQVP_VISIT_SCALAR_H

#include <libqvp/Byte.h>
#include <libqvp/Error.h>
#include <libqvp/Float32.h>
#include <libqvp/Float64.h>
#include <libqvp/Int16.h>
#include <libqvp/Int32.h>
#include <libqvp/Str.h>
#include <libqvp/Type.h>
#include <libqvp/UInt16.h>
#include <libqvp/UInt32.h>
#include <libqvp/Url.h>

#include <string>
#include <type_traits>
#include <utility>

namespace libqvp {

// What visit_scalar passes: the scalar type `kind`, its value type (uint8_t,
// int16_t, ..., double, std::string), the base every variable of the type
// derives from (Scalar<value_type, kind>) and the concrete class (Byte, ...,
// Str, Url) that the library instantiates for it.
template <class Variable>
struct ScalarTag {
  using variable_type = Variable;
  using value_type = typename Variable::value_type;
  static constexpr Type kind = Variable::kind;
  using scalar_type = Scalar<value_type, kind>;
  static constexpr bool is_string = std::is_same_v<value_type, std::string>;
};

// Returns f(ScalarTag<C>{}) with C the class of the scalar type `t`, or
// otherwise(t) when `t` is not a scalar type. Requires: f returns the same
// type for every tag, and otherwise returns that type too (or throws).
template <typename F, typename G>
decltype(auto) visit_scalar(Type t, F&& f, G&& otherwise) {
  switch (t) {
    case Type::Byte:
      return f(ScalarTag<Byte>{});
    case Type::Int16:
      return f(ScalarTag<Int16>{});
    case Type::UInt16:
      return f(ScalarTag<UInt16>{});
    case Type::Int32:
      return f(ScalarTag<Int32>{});
    case Type::UInt32:
      return f(ScalarTag<UInt32>{});
    case Type::Float32:
      return f(ScalarTag<Float32>{});
    case Type::Float64:
      return f(ScalarTag<Float64>{});
    case Type::String:
      return f(ScalarTag<Str>{});
    case Type::Url:
      return f(ScalarTag<Url>{});
    default:
      return otherwise(t);
  }
}

// Returns f(ScalarTag<C>{}) with C the class of the scalar type `t`; f
// returns the same type for every tag. Throws
// Error(internal_error, "not a scalar type: Array") (with the type's name)
// when `t` is not a scalar type.
template <typename F>
decltype(auto) visit_scalar(Type t, F&& f) {
  using Result = decltype(f(ScalarTag<Byte>{}));
  return visit_scalar(t, std::forward<F>(f), [](Type other) -> Result {
    throw Error(internal_error,
                std::string("not a scalar type: ") + type_name(other));
  });
}

}  // namespace libqvp

#endif  // LIBQVP_VISIT_SCALAR_H
