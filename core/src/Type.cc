// Names and sizes of the data model's types.
#include <libqvp/Type.h>
#include <libqvp/visit_scalar.h>
#include <strings.h>

namespace libqvp {
namespace {

constexpr const char* kNames[] = {
    "Byte",   "Int16", "UInt16", "Int32",     "UInt32",   "Float32", "Float64",
    "String", "Url",   "Array",  "Structure", "Sequence", "Grid"};
constexpr int kTypeCount = sizeof(kNames) / sizeof(kNames[0]);

}  // namespace

const char* type_name(Type t) {
  const int i = static_cast<int>(t);
  return i >= 0 && i < kTypeCount ? kNames[i] : "Unknown";
}

bool type_from_name(const std::string& name, Type& t) {
  for (int i = 0; i < kTypeCount; ++i) {
    if (strcasecmp(name.c_str(), kNames[i]) == 0) {
      t = static_cast<Type>(i);
      return true;
    }
  }
  return false;
}

bool is_numeric_type(Type t) { return value_size(t) != 0; }

bool is_simple_type(Type t) {
  return visit_scalar(
      t, [](auto) { return true; }, [](Type) { return false; });
}

size_t value_size(Type t) {
  return visit_scalar(
      t,
      [](auto tag) -> size_t {
        using Tag = decltype(tag);
        return Tag::is_string ? 0 : sizeof(typename Tag::value_type);
      },
      [](Type) -> size_t { return 0; });
}

}  // namespace libqvp
