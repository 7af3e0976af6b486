// Sizes of the XDR encoding, by the same rules the marshallers and the
// variables' serialize() follow (see XDRMarshaller.h).
#include <libqvp/Array.h>
#include <libqvp/BaseType.h>
#include <libqvp/Constructor.h>
#include <libqvp/DDS.h>
#include <libqvp/Grid.h>
#include <libqvp/Type.h>
#include <libqvp/xdr_size.h>

namespace libqvp {
namespace {

// Bytes of one element of numeric type `t` inside an array (Byte elements
// are packed and padded separately).
uint64_t element_bytes(Type t) { return t == Type::Float64 ? 8 : 4; }

std::optional<uint64_t> array_size(const Array& a) {
  const Type t = a.element_type();
  if (!is_numeric_type(t)) return std::nullopt;
  const uint64_t n = a.length();
  const uint64_t values =
      t == Type::Byte ? (n + 3) / 4 * 4 : n * element_bytes(t);
  return 8 + values;  // the element count, twice
}

// Adds xdr_size(v) to `total` when v is selected; false when it is unknown.
bool add_selected(const BaseType& v, uint64_t& total) {
  if (!v.send_p()) return true;
  const std::optional<uint64_t> n = xdr_size(v);
  if (!n) return false;
  total += *n;
  return true;
}

}  // namespace

std::optional<uint64_t> xdr_size(const BaseType& v) {
  if (!v.send_p()) return 0;
  const Type t = v.type();
  if (is_numeric_type(t)) return element_bytes(t);
  uint64_t total = 0;
  switch (t) {
    case Type::Array:
      return array_size(static_cast<const Array&>(v));
    case Type::Grid: {
      const auto& g = static_cast<const Grid&>(v);
      if (g.array() && !add_selected(*g.array(), total)) return std::nullopt;
      for (size_t i = 0; i < g.map_count(); ++i)
        if (!add_selected(*g.map(i), total)) return std::nullopt;
      return total;
    }
    case Type::Structure: {
      const auto& s = static_cast<const Constructor&>(v);
      for (auto i = s.var_begin(); i != s.var_end(); ++i)
        if (!add_selected(**i, total)) return std::nullopt;
      return total;
    }
    default:  // String, Url, Sequence
      return std::nullopt;
  }
}

std::optional<uint64_t> xdr_size(const DDS& dds) {
  uint64_t total = 0;
  for (auto i = dds.var_begin(); i != dds.var_end(); ++i)
    if (!add_selected(**i, total)) return std::nullopt;
  return total;
}

}  // namespace libqvp
