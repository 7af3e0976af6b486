// version() and linear_scale().
#include "Functions.h"

#include <libqvp/Array.h>
#include <libqvp/Error.h>
#include <libqvp/Float64.h>
#include <libqvp/Grid.h>
#include <libqvp/Str.h>
#include <libqvp/version.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "ScalarValue.h"

namespace libqvp {
namespace {

// linear_scale() holds its result in memory (8 bytes a value, besides the
// values read): beyond this many selected values it refuses, so that one
// request cannot take the memory of a whole variable of any size.
constexpr size_t kMaxScaledValues = size_t{16} << 20;

[[noreturn]] void mismatch(const std::string& message) {
  throw Error(type_mismatch, message);
}

// Throws Error(usage_error) when `a` selects more than kMaxScaledValues.
void check_scale_size(const Array& a) {
  if (a.length() <= kMaxScaledValues) return;
  throw Error(usage_error,
              "linear_scale(): \"" + a.name() + "\" selects " +
                  std::to_string(a.length()) + " values, more than the " +
                  std::to_string(kMaxScaledValues) +
                  " it scales at once; select a part of it with a hyperslab");
}

// The value of a numeric scalar argument (a constant or a DDS variable).
double number_arg(BaseType* v, const char* what) {
  v->read_once();
  ScalarValue c;
  if (!is_numeric_type(v->type()) || !read_scalar(v, c))
    mismatch(std::string("linear_scale(): ") + what +
             " must be a number, not " + v->type_name() + " \"" + v->name() +
             "\"");
  return c.number;
}

// The attribute `name` of `v` as a number; `fallback` when it is absent.
bool attr_number(const BaseType& v, const char* name, double& out) {
  const AttrTable::Entry* e = v.get_attr_table().find(name);
  if (!e) return false;
  const std::string text = e->values.empty() ? "" : e->values[0];
  char* end = nullptr;
  errno = 0;
  const double d = std::strtod(text.c_str(), &end);
  if (e->is_container() || text.empty() || *end != '\0' || errno != 0 ||
      !std::isfinite(d))
    mismatch("linear_scale(): attribute " + std::string(name) + " of \"" +
             v.name() + "\" is not a number");
  out = d;
  return true;
}

double attr_or(const BaseType& v, const BaseType* inner, const char* name,
               double fallback) {
  double d = fallback;
  if (attr_number(v, name, d)) return d;
  if (inner) attr_number(*inner, name, d);
  return d;
}

std::unique_ptr<BaseType> scale_array(const Array& a, double m, double b) {
  if (!is_numeric_type(a.element_type()))
    mismatch("linear_scale(): \"" + a.name() + "\" is an array of " +
             type_name(a.element_type()) + ", not of numbers");
  std::vector<double> values = a.selected_as_double();
  for (double& x : values) x = x * m + b;
  auto out =
      std::make_unique<Array>(a.name(), std::make_unique<Float64>(a.name()));
  for (const Array::Dimension& d : a.dims()) out->append_dim(d.c_size, d.name);
  out->set_values(std::move(values));
  return out;
}

}  // namespace

std::unique_ptr<BaseType> function_version(const std::vector<BaseType*>& args,
                                           DDS&, const std::string&) {
  if (!args.empty()) mismatch("version() takes no arguments");
  auto v = std::make_unique<Str>("version");
  v->set_value(std::string(kCoreName) + "/" + kCoreVersion);
  return v;
}

std::unique_ptr<BaseType> function_linear_scale(
    const std::vector<BaseType*>& args, DDS&, const std::string&) {
  if (args.size() != 1 && args.size() != 3)
    mismatch("linear_scale() takes 1 or 3 arguments (var[, m, b]), not " +
             std::to_string(args.size()));
  BaseType* var = args[0];
  Grid* grid = dynamic_cast<Grid*>(var);
  Array* array = grid ? grid->array() : dynamic_cast<Array*>(var);
  double m = 1, b = 0;
  if (args.size() == 3) {
    m = number_arg(args[1], "m");
    b = number_arg(args[2], "b");
  } else {
    m = attr_or(*var, grid ? array : nullptr, "scale_factor", 1);
    b = attr_or(*var, grid ? array : nullptr, "add_offset", 0);
  }
  if (array) check_scale_size(*array);
  var->read_once();
  if (array) {
    array->read_once();
    return scale_array(*array, m, b);
  }
  ScalarValue c;
  if (!is_numeric_type(var->type()) || !read_scalar(var, c))
    mismatch("linear_scale(): \"" + var->name() + "\" is a " +
             var->type_name() + ", not a number or an array of numbers");
  auto out = std::make_unique<Float64>(var->name());
  out->set_value(c.number * m + b);
  return out;
}

}  // namespace libqvp
