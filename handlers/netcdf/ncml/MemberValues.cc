#include "MemberValues.h"

#include <libqvp/Error.h>
#include <libqvp/visit_scalar.h>
#include <netcdf.h>

#include "NcDimensions.h"
#include "NcReader.h"
#include "NcVariable.h"

namespace libqvp {

size_t core_value_bytes(Type t) {
  return visit_scalar(
      t,
      [](auto tag) -> size_t {
        return sizeof(typename decltype(tag)::value_type);
      },
      [](auto...) -> size_t { return 0; });
}

std::vector<double> read_member_doubles(int ncid, const std::string& var,
                                        const std::string& display) {
  int varid = -1;
  NcDimensions dims;
  NcVariable v;
  if (nc_inq_varid(ncid, var.c_str(), &varid) != NC_NOERR ||
      !describe_variable(ncid, varid, dims, v) || !is_numeric_type(v.type) ||
      v.dim_sizes.size() != 1)
    throw Error(internal_error, "\"" + display + "\": " + var +
                                    " is not a numeric variable of one "
                                    "dimension");
  const size_t n = v.dim_sizes[0];
  std::vector<double> out(n);
  if (n == 0) return out;
  visit_scalar(
      v.type,
      [&](auto tag) {
        using T = typename decltype(tag)::value_type;
        if constexpr (!decltype(tag)::is_string) {
          std::vector<T> raw(n);
          read_nc_box(v, {0}, {1}, {n}, raw.data());
          for (size_t i = 0; i < n; ++i) out[i] = static_cast<double>(raw[i]);
        }
      },
      [](auto...) {});
  return out;
}

}  // namespace libqvp
