// netCDF's typed readers refuse enum variables, so their values are read in
// the base type's own memory form and converted here.
#include "NcEnum.h"

#include <libqvp/Error.h>
#include <netcdf.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "InexactValue.h"
#include "NcFile.h"
#include "NcReader.h"
#include "NcValues.h"

namespace libqvp {
namespace {

void read_enum_box(const NcVariable& v, const std::vector<size_t>& start,
                   const std::vector<size_t>& stride,
                   const std::vector<size_t>& count, void* out) {
  size_t n = 1;
  for (size_t c : count) n *= c;
  if (n == 0) return;
  std::vector<size_t> s(start), c(count);
  std::vector<ptrdiff_t> st(stride.begin(), stride.end());
  s.push_back(0);  // netCDF reads the pointers even for a scalar
  c.push_back(1);
  st.push_back(1);
  const size_t width = atomic_size(v.base);
  std::vector<unsigned char> raw(n * width);
  check_nc(
      nc_get_vars(v.ncid, v.varid, s.data(), c.data(), st.data(), raw.data()),
      "Cannot read the values of \"" + v.name + "\"");
  convert_atomic(v.base, 0, raw.data(), width, n, out, v.name);
}

template <typename T>
std::string text(const unsigned char* raw) {
  T v;
  memcpy(&v, raw, sizeof v);
  return std::to_string(v);
}

// An enum member's value, held in the base type's memory form, as text.
std::string value_text(nc_type base, const unsigned char* raw) {
  return visit_nc_atomic(
      base, [&](auto tag) { return text<typename decltype(tag)::type>(raw); },
      [&] { return text<int64_t>(raw); });
}

// False when `raw` holds a 64-bit integer of type `base` without an exact
// Float64 form.
bool has_exact_form(nc_type base, const unsigned char* raw) {
  return visit_nc_atomic(
      base,
      [&](auto tag) {
        using T = typename decltype(tag)::type;
        if constexpr (std::is_integral_v<T> && sizeof(T) == 8) {
          T value;
          memcpy(&value, raw, sizeof value);
          return has_exact_double(value);
        } else {
          return true;
        }
      },
      [] { return true; });
}

}  // namespace

void read_served_box(const NcVariable& v, const std::vector<size_t>& start,
                     const std::vector<size_t>& stride,
                     const std::vector<size_t>& count, void* out) {
  if (v.base != NC_NAT)
    read_enum_box(v, start, stride, count, out);
  else
    read_nc_box(v, start, stride, count, out);
}

void add_enum_attributes(const NcVariable& v, AttrTable& table) {
  if (table.find("flag_values") || table.find("flag_meanings")) return;
  size_t members = 0;
  const std::string context = "Cannot read the enum type of \"" + v.name + "\"";
  check_nc(nc_inq_enum(v.ncid, v.xtype, nullptr, nullptr, nullptr, &members),
           context);
  std::vector<std::string> values;
  bool inexact = false;  // a 64-bit value that a Float64 would round
  std::string meanings;
  for (size_t i = 0; i < members; ++i) {
    char name[NC_MAX_NAME + 1] = {};
    unsigned char raw[8] = {};
    check_nc(
        nc_inq_enum_member(v.ncid, v.xtype, static_cast<int>(i), name, raw),
        context);
    values.push_back(value_text(v.base, raw));
    inexact = inexact || !has_exact_form(v.base, raw);
    std::string word = name;
    for (char& ch : word)
      if (ch == ' ') ch = '_';
    meanings += (i ? " " : "") + word;
  }
  // Remote clients read Byte attributes as signed 8-bit integers, which
  // would turn 255 into -1; Int16 holds every Byte value exactly. 64-bit
  // values beyond what a Float64 holds are written as their digits, as the
  // DAS writes such attributes.
  const char* values_type = inexact                ? "String"
                            : v.type == Type::Byte ? "Int16"
                                                   : type_name(v.type);
  for (const std::string& value : values)
    table.append_attr("flag_values", values_type, value);
  if (members != 0) table.append_attr("flag_meanings", "String", meanings);
}

}  // namespace libqvp
