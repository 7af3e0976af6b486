// The scalar variables: one value of a numeric type, or a string.
#ifndef LIBQVP_SCALAR_H
#define LIBQVP_SCALAR_H

#include <libqvp/BaseType.h>
#include <libqvp/Marshaller.h>

#include <string>
#include <utility>

namespace libqvp {

// A scalar of type `kType` whose value has the C++ type `T`. The concrete
// classes (Byte, Int16, ..., Str, Url) derive from it so that a handler can
// derive from them in turn and override read().
template <typename T, Type kType>
class Scalar : public BaseType {
 public:
  using value_type = T;
  static constexpr Type kind = kType;
  explicit Scalar(std::string name) : BaseType(std::move(name), kType) {}

  const T& value() const { return d_value; }
  void set_value(T v) {
    d_value = std::move(v);
    set_read_p(true);
  }

  bool serialize(const std::string&, ConstraintEvaluator&, DDS&, Marshaller& m,
                 bool) override {
    read_once();
    if constexpr (kType == Type::Byte)
      m.put_byte(d_value);
    else if constexpr (kType == Type::Int16)
      m.put_int16(d_value);
    else if constexpr (kType == Type::UInt16)
      m.put_uint16(d_value);
    else if constexpr (kType == Type::Int32)
      m.put_int32(d_value);
    else if constexpr (kType == Type::UInt32)
      m.put_uint32(d_value);
    else if constexpr (kType == Type::Float32)
      m.put_float32(d_value);
    else if constexpr (kType == Type::Float64)
      m.put_float64(d_value);
    else if constexpr (kType == Type::String)
      m.put_str(d_value);
    else
      m.put_url(d_value);
    return true;
  }

 private:
  T d_value{};
};

}  // namespace libqvp

#endif  // LIBQVP_SCALAR_H
