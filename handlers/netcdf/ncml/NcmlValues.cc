#include "NcmlValues.h"

#include <libqvp/Error.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace libqvp {
namespace {

template <typename T>
bool append_as(double x, std::string& bytes) {
  if constexpr (std::is_integral_v<T>) {
    if (!(x == std::floor(x)) ||
        x < static_cast<double>(std::numeric_limits<T>::min()) ||
        x > static_cast<double>(std::numeric_limits<T>::max()))
      return false;
  }
  const T v = static_cast<T>(x);
  bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
  return true;
}

// Parses one number; long long first, so that 64-bit integers keep every
// digit where the type holds them.
bool append_text(nc_type type, const std::string& token, std::string& bytes) {
  char* end = nullptr;
  if (type == NC_INT64 || type == NC_UINT64) {
    errno = 0;
    if (type == NC_INT64) {
      const long long v = std::strtoll(token.c_str(), &end, 0);
      if (errno != 0 || *end != '\0' || end == token.c_str()) return false;
      bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
    } else {
      const unsigned long long v = std::strtoull(token.c_str(), &end, 0);
      if (errno != 0 || *end != '\0' || end == token.c_str() || token[0] == '-')
        return false;
      bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    return true;
  }
  const double x = std::strtod(token.c_str(), &end);
  return end != token.c_str() && *end == '\0' && append_value(type, x, bytes);
}

}  // namespace

nc_type ncml_type(const std::string& name, bool attribute) {
  struct Name {
    const char* name;
    nc_type type;
  };
  static constexpr Name kNames[] = {
      {"byte", NC_BYTE},     {"ubyte", NC_UBYTE},  {"short", NC_SHORT},
      {"ushort", NC_USHORT}, {"int", NC_INT},      {"uint", NC_UINT},
      {"long", NC_INT64},    {"ulong", NC_UINT64}, {"float", NC_FLOAT},
      {"double", NC_DOUBLE}, {"char", NC_CHAR},
  };
  if (name == "String" || name == "string")
    return attribute ? NC_CHAR : NC_STRING;
  for (const Name& n : kNames)
    if (name == n.name) return n.type;
  return NC_NAT;
}

bool append_value(nc_type type, double x, std::string& bytes) {
  switch (type) {
    case NC_BYTE:
      return append_as<int8_t>(x, bytes);
    case NC_UBYTE:
      return append_as<uint8_t>(x, bytes);
    case NC_SHORT:
      return append_as<int16_t>(x, bytes);
    case NC_USHORT:
      return append_as<uint16_t>(x, bytes);
    case NC_INT:
      return append_as<int32_t>(x, bytes);
    case NC_UINT:
      return append_as<uint32_t>(x, bytes);
    case NC_INT64:
      return append_as<int64_t>(x, bytes);
    case NC_UINT64:
      return append_as<uint64_t>(x, bytes);
    case NC_FLOAT:
      return std::isnan(x) || std::isinf(x) ||
                     std::fabs(x) <= std::numeric_limits<float>::max()
                 ? append_as<float>(x, bytes)
                 : false;
    case NC_DOUBLE:
      return append_as<double>(x, bytes);
    default:
      return false;
  }
}

std::vector<std::string> split_values(const std::string& text,
                                      const std::string& separator) {
  std::vector<std::string> out;
  if (!separator.empty()) {
    size_t from = 0;
    for (;;) {
      const size_t at = text.find(separator, from);
      std::string piece = text.substr(from, at - from);
      if (!piece.empty()) out.push_back(piece);
      if (at == std::string::npos) return out;
      from = at + separator.size();
    }
  }
  std::string piece;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ',') {
      if (!piece.empty()) out.push_back(piece);
      piece.clear();
    } else {
      piece += c;
    }
  }
  if (!piece.empty()) out.push_back(piece);
  return out;
}

bool parse_numbers(const std::string& text, std::vector<double>& out) {
  for (const std::string& token : split_values(text, "")) {
    char* end = nullptr;
    const double x = std::strtod(token.c_str(), &end);
    if (end == token.c_str() || *end != '\0') return false;
    out.push_back(x);
  }
  return true;
}

VirtualAttribute attribute_of(const NcmlAttribute& a, nc_type type,
                              const std::string& where) {
  VirtualAttribute out;
  out.name = a.name;
  out.type = type;
  const std::string& text = *a.value;
  if (type == NC_CHAR) {
    out.bytes = text;
    out.count = text.size();
    return out;
  }
  for (const std::string& token : split_values(text, a.separator)) {
    if (!append_text(type, token, out.bytes))
      throw Error(internal_error, where + "\"" + token +
                                      "\" is not a value of type " + a.type +
                                      " (attribute " + a.name + ")");
    ++out.count;
  }
  if (out.count == 0)
    throw Error(internal_error,
                where + "the attribute " + a.name + " has no values");
  return out;
}

void fill_values(const NcmlValues& values, size_t count, VirtualVariable& v,
                 const std::string& where) {
  v.values.clear();
  v.strings.clear();
  if (values.npts && *values.npts != count)
    throw Error(internal_error, where + "npts=" + std::to_string(*values.npts) +
                                    " where \"" + v.name + "\" has " +
                                    std::to_string(count) + " values");
  if (values.regular) {
    for (size_t i = 0; i < count; ++i)
      if (!append_value(
              v.type, values.start + static_cast<double>(i) * values.increment,
              v.values))
        throw Error(internal_error,
                    where + "the values of \"" + v.name + "\" do not fit");
    return;
  }
  if (v.type == NC_CHAR) {
    v.values = values.text;
    v.values.resize(count, '\0');
    return;
  }
  const std::vector<std::string> tokens =
      split_values(values.text, values.separator);
  if (tokens.size() != count)
    throw Error(internal_error,
                where + "\"" + v.name + "\" has " + std::to_string(count) +
                    " values, <values> " + std::to_string(tokens.size()));
  for (const std::string& t : tokens) {
    if (v.type == NC_STRING)
      v.strings.push_back(t);
    else if (!append_text(v.type, t, v.values))
      throw Error(internal_error, where + "\"" + t +
                                      "\" is not a value of the type of \"" +
                                      v.name + "\"");
  }
}

}  // namespace libqvp
