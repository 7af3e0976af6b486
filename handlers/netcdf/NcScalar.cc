// Scalar variables whose value netCDF reads on first use.
#include "NcScalar.h"

#include <libqvp/visit_scalar.h>

#include <utility>

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

template <class Base>
std::unique_ptr<BaseType> make(const std::string& name, ValueLoader load) {
  return std::make_unique<LazyScalar<Base>>(name, std::move(load));
}

}  // namespace

std::unique_ptr<BaseType> make_scalar(Type t, const std::string& name,
                                      ValueLoader load) {
  return visit_scalar(t, [&](auto tag) {
    return make<typename decltype(tag)::variable_type>(name, std::move(load));
  });
}

}  // namespace libqvp
