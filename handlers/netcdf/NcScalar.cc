// The one switch from a core scalar type to its class.
#include "NcScalar.h"

#include <libqvp/Byte.h>
#include <libqvp/Float32.h>
#include <libqvp/Float64.h>
#include <libqvp/Int16.h>
#include <libqvp/Int32.h>
#include <libqvp/Str.h>
#include <libqvp/UInt16.h>
#include <libqvp/UInt32.h>

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
  switch (t) {
    case Type::Byte:
      return make<Byte>(name, std::move(load));
    case Type::Int16:
      return make<Int16>(name, std::move(load));
    case Type::UInt16:
      return make<UInt16>(name, std::move(load));
    case Type::Int32:
      return make<Int32>(name, std::move(load));
    case Type::UInt32:
      return make<UInt32>(name, std::move(load));
    case Type::Float32:
      return make<Float32>(name, std::move(load));
    case Type::Float64:
      return make<Float64>(name, std::move(load));
    default:
      return make<Str>(name, std::move(load));
  }
}

}  // namespace libqvp
