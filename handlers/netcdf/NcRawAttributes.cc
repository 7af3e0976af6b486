#include "NcRawAttributes.h"

#include <libqvp/Error.h>

#include "NcDAS.h"
#include "NcFile.h"
#include "NcValues.h"

namespace libqvp {
namespace {

std::string context(const char* name) {
  return std::string("Cannot read the attribute \"") + name + "\"";
}

// The strings of an NC_STRING attribute joined by newlines.
std::string joined_strings(int ncid, int varid, const char* name, size_t n) {
  std::vector<char*> values(n, nullptr);
  check_nc(nc_get_att_string(ncid, varid, name, values.data()), context(name));
  std::string text;
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) text += '\n';
    if (values[i] != nullptr) text += values[i];
  }
  nc_free_string(n, values.data());
  return text;
}

// The atomic type that holds `type`'s values: itself, or an enum's base;
// NC_NAT for other user-defined types.
nc_type atomic_type_of(int ncid, nc_type type) {
  if (type <= NC_MAX_ATOMIC_TYPE) return type;
  nc_type base = NC_NAT;
  int type_class = 0;
  if (nc_inq_user_type(ncid, type, nullptr, nullptr, &base, nullptr,
                       &type_class) != NC_NOERR ||
      type_class != NC_ENUM)
    return NC_NAT;
  return base;
}

}  // namespace

NcRawAttribute text_attribute(const std::string& name,
                              const std::string& text) {
  return {name, NC_CHAR, text.size(), {text.begin(), text.end()}};
}

std::vector<NcRawAttribute> read_raw_attributes(int ncid, int varid) {
  int natts = 0;
  if (varid == NC_GLOBAL)
    check_nc(nc_inq_natts(ncid, &natts), "Cannot read the global attributes");
  else
    check_nc(nc_inq_varnatts(ncid, varid, &natts), "Cannot read attributes");
  std::vector<NcRawAttribute> out;
  for (int i = 0; i < natts; ++i) {
    char name[NC_MAX_NAME + 1] = {};
    nc_type type = NC_NAT;
    size_t len = 0;
    check_nc(nc_inq_attname(ncid, varid, i, name), "Cannot read attributes");
    check_nc(nc_inq_att(ncid, varid, name, &type, &len), context(name));
    const nc_type atomic = atomic_type_of(ncid, type);
    const size_t width =
        type == NC_STRING ? sizeof(char*) : atomic_size(atomic);
    if (width == 0) continue;
    if (len > kMaxAttributeBytes / width)
      throw Error(internal_error,
                  std::string("The attribute \"") + name + "\" is too large");
    if (type == NC_STRING) {
      out.push_back(
          text_attribute(name, joined_strings(ncid, varid, name, len)));
      continue;
    }
    NcRawAttribute a{name, atomic, len,
                     std::vector<unsigned char>(len * width)};
    if (len > 0)
      check_nc(nc_get_att(ncid, varid, name, a.values.data()), context(name));
    out.push_back(std::move(a));
  }
  return out;
}

}  // namespace libqvp
