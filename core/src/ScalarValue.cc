// Reading a scalar variable's value as a number or a string.
#include "ScalarValue.h"

#include <libqvp/visit_scalar.h>

namespace libqvp {

bool read_scalar(const BaseType* v, ScalarValue& out) {
  return visit_scalar(
      v->type(),
      [&](auto tag) {
        using Tag = decltype(tag);
        const auto* s = dynamic_cast<const typename Tag::scalar_type*>(v);
        if (!s) return false;
        if constexpr (Tag::is_string) {
          out.is_string = true;
          out.str = s->value();
        } else {
          out.number = static_cast<double>(s->value());
        }
        return true;
      },
      [](Type) { return false; });
}

}  // namespace libqvp
