// Scalar variables whose value netCDF reads on first use.
#include "NcScalar.h"

#include <libqvp/Array.h>
#include <libqvp/Float64.h>
#include <libqvp/visit_scalar.h>

#include <utility>

#include "NcValues.h"

namespace libqvp {
namespace {

template <class Base>
class LazyScalar : public Base {
 public:
  LazyScalar(const std::string& name, ValueLoader load)
      : Base(name), d_load(std::move(load)) {}

  bool read() override {
    if (!d_load) return false;
    typename Base::value_type value{};
    d_load(&value);
    this->set_value(std::move(value));
    return true;
  }

 private:
  ValueLoader d_load;
};

class WideInteger : public LazyScalar<Float64>, public WideIntegerMark {
 public:
  using LazyScalar<Float64>::LazyScalar;
};

template <class Base>
std::unique_ptr<BaseType> make(const std::string& name, ValueLoader load) {
  return std::make_unique<LazyScalar<Base>>(name, std::move(load));
}

}  // namespace

std::unique_ptr<BaseType> make_scalar(Type t, const std::string& name,
                                      ValueLoader load, nc_type source) {
  if (is_wide_integer(source) && t == Type::Float64)
    return std::make_unique<WideInteger>(name, std::move(load));
  return visit_scalar(t, [&](auto tag) {
    return make<typename decltype(tag)::variable_type>(name, std::move(load));
  });
}

bool serves_wide_integers(const BaseType& v) {
  const BaseType* value = &v;
  if (v.type() == Type::Array) value = static_cast<const Array&>(v).var();
  return dynamic_cast<const WideIntegerMark*>(value) != nullptr;
}

}  // namespace libqvp
