// Field text of CSV values: a visit over the scalar types, std::to_chars
// for the shortest text that reads back exactly, and the fill test.
#include "CsvValues.h"

#include <libqvp/visit_scalar.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <type_traits>

namespace libqvp {
namespace {

// `v` in the shortest text that reads back to the same value.
template <typename T>
std::string number_text(T v) {
  char buf[64];
  std::to_chars_result r;
  if constexpr (std::is_same_v<T, uint8_t>)
    r = std::to_chars(buf, buf + sizeof buf, static_cast<unsigned>(v));
  else
    r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

template <typename T>
bool is_fill(T v, const std::vector<double>& fill) {
  for (double f : fill) {
    const double d = static_cast<double>(v);
    if (d == f || (std::isnan(f) && std::isnan(d))) return true;
  }
  return false;
}

// One field's text: empty for a fill value.
template <typename T>
std::string field_text(const T& v, const std::vector<double>& fill) {
  if constexpr (std::is_same_v<T, std::string>) {
    return v;
  } else {
    return is_fill(v, fill) ? std::string() : number_text(v);
  }
}

// The value of attribute text in the variable's own type, as a double, so
// that a Float32 fill compares equal to the Float32 values it marks.
}  // namespace

std::vector<double> CsvValues::fills(Type t,
                                     const std::vector<std::string>& texts) {
  std::vector<double> out;
  for (const std::string& text : texts) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const double v =
        t == Type::Float32 ? strtof(begin, &end) : strtod(begin, &end);
    if (end != begin && *end == '\0') out.push_back(v);
  }
  return out;
}

std::string CsvValues::scalar_text(const BaseType& var,
                                   const std::vector<double>& fill) {
  std::string out;
  visit_scalar(var.type(), [&](auto tag) {
    using S = typename decltype(tag)::scalar_type;
    auto& s = const_cast<S&>(static_cast<const S&>(var));
    s.read_once();
    out = field_text(s.value(), fill);
  });
  return out;
}

void CsvValues::read(const Array& a, const std::vector<size_t>& start,
                     const std::vector<size_t>& stride,
                     const std::vector<size_t>& count, size_t n) {
  d_type = a.element_type();
  if (is_numeric_type(d_type)) {
    d_numbers.resize((n * value_size(d_type) + 7) / 8);
    a.read_box(start, stride, count, d_numbers.data());
  } else {
    d_strings.assign(n, std::string());
    a.read_box(start, stride, count, d_strings.data());
  }
}

std::string CsvValues::text(size_t i, const std::vector<double>& fill) const {
  std::string out;
  visit_scalar(d_type, [&](auto tag) {
    using T = typename decltype(tag)::value_type;
    if constexpr (std::is_same_v<T, std::string>)
      out = d_strings[i];
    else
      out = field_text(reinterpret_cast<const T*>(d_numbers.data())[i], fill);
  });
  return out;
}

}  // namespace libqvp
