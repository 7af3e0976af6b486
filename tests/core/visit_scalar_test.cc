// The scalar-type dispatch: each scalar type reaches its own value type and
// class, non-scalars are refused, and the type facts built on it.
#include <typeinfo>

#include "CoreTest.h"

namespace libqvp::test {

struct Seen {
  Type kind;
  const std::type_info* value;
  size_t value_bytes;
  bool is_string;
  Type made_type;       // type() of a variable_type object
  bool made_is_scalar;  // that object is a scalar_type
};

Seen visit(Type t) {
  return visit_scalar(t, [](auto tag) {
    using Tag = decltype(tag);
    typename Tag::variable_type made("v");
    const BaseType& base = made;
    return Seen{
        Tag::kind,
        &typeid(typename Tag::value_type),
        sizeof(typename Tag::value_type),
        Tag::is_string,
        made.type(),
        dynamic_cast<const typename Tag::scalar_type*>(&base) != nullptr};
  });
}

TEST(VisitScalarTest, EachScalarTypeReachesItsValueType) {
  // value_size: as value_size() reports it
  // clang-format off
  const struct { Type type; const std::type_info& value; size_t value_size; } cases[] = {
      {Type::Byte, typeid(uint8_t), 1}, {Type::Int16, typeid(int16_t), 2},
      {Type::UInt16, typeid(uint16_t), 2}, {Type::Int32, typeid(int32_t), 4},
      {Type::UInt32, typeid(uint32_t), 4}, {Type::Float32, typeid(float), 4},
      {Type::Float64, typeid(double), 8}, {Type::String, typeid(std::string), 0},
      {Type::Url, typeid(std::string), 0},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(type_name(c.type));
    const Seen s = visit(c.type);
    EXPECT_EQ(s.kind, c.type);
    EXPECT_EQ(*s.value, c.value);
    EXPECT_EQ(s.made_type, c.type);
    EXPECT_TRUE(s.made_is_scalar);
    EXPECT_EQ(s.is_string, c.value_size == 0);
    EXPECT_EQ(s.is_string ? 0 : s.value_bytes, c.value_size);
    EXPECT_EQ(value_size(c.type), c.value_size);
    EXPECT_TRUE(is_simple_type(c.type));
    EXPECT_EQ(is_numeric_type(c.type), c.value_size != 0);
  }
}

TEST(VisitScalarTest, NonScalarsAreRefused) {
  for (Type t : {Type::Array, Type::Structure, Type::Sequence, Type::Grid,
                 static_cast<Type>(99)}) {
    SCOPED_TRACE(type_name(t));
    expect_error(
        [&] { visit_scalar(t, [](auto) { ADD_FAILURE() << "visited"; }); },
        internal_error, std::string("not a scalar type: ") + type_name(t));
    Type passed = Type::Byte;
    const int r = visit_scalar(
        t, [](auto) { return 1; },
        [&](Type other) {
          passed = other;
          return 2;
        });
    EXPECT_EQ(r, 2);
    EXPECT_EQ(passed, t);
    EXPECT_EQ(value_size(t), 0u);
    EXPECT_FALSE(is_simple_type(t));
    EXPECT_FALSE(is_numeric_type(t));
  }
}

}  // namespace libqvp::test
