// A box is whole along the inner dimensions that fit kNc4BoxBytes, a run
// along the next one out, and one index along the rest. A character
// variable's last dimension (its strings' length, at most kMaxStringLength)
// always fits, so its strings are never split.
#include "Nc4Values.h"

#include <libqvp/Error.h>
#include <libqvp/visit_scalar.h>

#include <algorithm>
#include <string>
#include <vector>

#include "NcDimensions.h"
#include "NcVariable.h"
#include "ncml/NcmlDataSet.h"

namespace libqvp {
namespace {

const char* const kWrite = "Cannot write the netCDF-4 file";

std::string read_context(const OutputVariable& v) {
  return "Cannot read \"" + v.name + "\"";
}

// Calls f(offset, count) for each box of an array of `lengths` elements of
// `width` bytes, offsets counted in the output.
template <typename F>
void for_each_box(const std::vector<size_t>& lengths, size_t width, F f) {
  const size_t rank = lengths.size();
  for (size_t len : lengths)
    if (len == 0) return;
  std::vector<size_t> count(rank, 1), offset(rank, 0);
  size_t inner = std::max<size_t>(width, 1);
  size_t whole = rank;  // dimensions [whole, rank) are taken whole
  while (whole > 0 && inner * lengths[whole - 1] <= kNc4BoxBytes) {
    --whole;
    inner *= lengths[whole];
    count[whole] = lengths[whole];
  }
  if (whole > 0) count[whole - 1] = std::max<size_t>(1, kNc4BoxBytes / inner);
  for (;;) {
    std::vector<size_t> c = count;
    for (size_t k = 0; k < rank; ++k)
      c[k] = std::min(count[k], lengths[k] - offset[k]);
    f(offset, c);
    size_t k = whole;  // the next box: the outer dimensions, last first
    for (;;) {
      if (k == 0) return;
      --k;
      offset[k] += count[k];
      if (offset[k] < lengths[k]) break;
      offset[k] = 0;
    }
  }
}

// Writes `n` values of the core type `core` to the output variable; netCDF
// converts numbers to the variable's type. Strings of a character variable
// are padded with NULs to `string_length`.
void put_core_values(int group, int varid, const std::vector<size_t>& start,
                     const std::vector<size_t>& count, Type core,
                     const void* values, size_t n, nc_type xtype,
                     size_t string_length) {
  int status = NC_NOERR;
  if (core == Type::String) {
    const auto* s = static_cast<const std::string*>(values);
    if (xtype == NC_CHAR) {
      std::string text(n * string_length, '\0');
      for (size_t i = 0; i < n; ++i)
        s[i].copy(text.data() + i * string_length,
                  std::min(s[i].size(), string_length));
      status = nc_put_vara_text(group, varid, start.data(), count.data(),
                                text.data());
    } else {
      std::vector<const char*> p(n);
      for (size_t i = 0; i < n; ++i) p[i] = s[i].c_str();
      status = nc_put_vara_string(group, varid, start.data(), count.data(),
                                  p.data());
    }
    check_nc(status, kWrite);
    return;
  }
  visit_scalar(core, [&](auto tag) {
    using T = typename decltype(tag)::value_type;
    const auto* v = static_cast<const T*>(values);
    const size_t* s = start.data();
    const size_t* c = count.data();
    if constexpr (std::is_same_v<T, uint8_t>)
      status = nc_put_vara_uchar(group, varid, s, c, v);
    else if constexpr (std::is_same_v<T, int16_t>)
      status = nc_put_vara_short(group, varid, s, c, v);
    else if constexpr (std::is_same_v<T, uint16_t>)
      status = nc_put_vara_ushort(group, varid, s, c, v);
    else if constexpr (std::is_same_v<T, int32_t>)
      status = nc_put_vara_int(group, varid, s, c, v);
    else if constexpr (std::is_same_v<T, uint32_t>)
      status = nc_put_vara_uint(group, varid, s, c, v);
    else if constexpr (std::is_same_v<T, float>)
      status = nc_put_vara_float(group, varid, s, c, v);
    else if constexpr (std::is_same_v<T, double>)
      status = nc_put_vara_double(group, varid, s, c, v);
    else
      status = NC_EBADTYPE;
  });
  check_nc(status, kWrite);
}

// Reads a box that an NcML data set's members hold, as core values, and
// writes it; false when the data set's image holds the values instead.
bool copy_member_box(NcmlDataSet& ncml, const NcVariable& nv,
                     const OutputVariable& v, std::vector<size_t> start,
                     std::vector<size_t> stride, std::vector<size_t> count,
                     const std::vector<size_t>& out_start, size_t n,
                     int out_group, int out_varid) {
  std::vector<size_t> served = count;
  if (nv.is_char()) {  // one string per element of the other dimensions
    start.pop_back(), stride.pop_back(), served.pop_back();
    n /= v.string_length > 0 ? v.string_length : 1;
  }
  return visit_scalar(nv.type, [&](auto tag) {
    using T = typename decltype(tag)::value_type;
    std::vector<T> values(n);
    if (!ncml.read(nv, start, stride, served, values.data())) return false;
    put_core_values(out_group, out_varid, out_start, count, nv.type,
                    values.data(), n, nv.xtype, v.string_length);
    return true;
  });
}

}  // namespace

void copy_nc4_values(const NcFile& file, const NcOutputPlan& plan,
                     const OutputVariable& v, int out_group, int out_varid) {
  size_t width = 0;
  check_nc(nc_inq_type(v.ncid, v.type, nullptr, &width), read_context(v));
  std::vector<size_t> lengths;
  for (size_t d : v.dims) lengths.push_back(plan.dimensions()[d].length);
  NcVariable nv;
  NcmlDataSet* ncml = file.ncml();
  if (ncml != nullptr) {
    NcDimensions dims;
    if (!describe_variable(v.ncid, v.varid, dims, nv) || nv.is_compound())
      ncml = nullptr;  // only the image can hold it
  }
  // Strings, vlens and compounds holding them point into memory that
  // netCDF allocated for the box.
  const bool reclaim = v.type == NC_STRING || v.type > NC_MAX_ATOMIC_TYPE;
  std::vector<unsigned char> buffer;
  for_each_box(
      lengths, width,
      [&](const std::vector<size_t>& offset, const std::vector<size_t>& count) {
        std::vector<size_t> start(offset.size()), stride(offset.size());
        size_t n = 1;
        for (size_t k = 0; k < offset.size(); ++k) {
          const OutputDimension& od = plan.dimensions()[v.dims[k]];
          start[k] = od.start + offset[k] * od.stride;
          stride[k] = od.stride;
          n *= count[k];
        }
        if (ncml != nullptr &&
            copy_member_box(*ncml, nv, v, start, stride, count, offset, n,
                            out_group, out_varid))
          return;
        buffer.resize(n * width);
        std::vector<ptrdiff_t> step(stride.begin(), stride.end());
        check_nc(nc_get_vars(v.ncid, v.varid, start.data(), count.data(),
                             step.data(), buffer.data()),
                 read_context(v));
        const int status = nc_put_vara(out_group, out_varid, offset.data(),
                                       count.data(), buffer.data());
        if (reclaim) nc_reclaim_data(v.ncid, v.type, buffer.data(), n);
        check_nc(status, kWrite);
      });
}

}  // namespace libqvp
