// Boxes are read with nc_get_vars_* straight into the caller's buffer for the
// numeric types whose netCDF and core types agree in memory; netCDF converts
// signed bytes to shorts itself. 64-bit integers, strings and characters go
// through a small temporary buffer.
#include "NcReader.h"

#include <libqvp/Error.h>
#include <libqvp/next_index.h>
#include <libqvp/visit_scalar.h>
#include <netcdf.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "InexactValue.h"
#include "NcFile.h"
#include "ncml/NcmlDataSet.h"

namespace libqvp {
namespace {

// A box's shape in netCDF's argument types; stride is null when all are 1,
// so that netCDF takes its contiguous path.
struct Box {
  std::vector<size_t> start, count;
  std::vector<ptrdiff_t> stride;
  bool unit_stride = true;
  size_t n = 1;

  Box(const std::vector<size_t>& s, const std::vector<size_t>& st,
      const std::vector<size_t>& c)
      : start(s), count(c) {
    for (size_t i = 0; i < c.size(); ++i) {
      stride.push_back(static_cast<ptrdiff_t>(st[i]));
      unit_stride = unit_stride && st[i] == 1;
      n *= c[i];
    }
    // netCDF reads the pointers even for a scalar; give them one element.
    start.push_back(0);
    count.push_back(1);
    stride.push_back(1);
  }
  const ptrdiff_t* strides() const {
    return unit_stride ? nullptr : stride.data();
  }
};

int get(const NcVariable& v, const Box& b, unsigned char* out) {
  return nc_get_vars_uchar(v.ncid, v.varid, b.start.data(), b.count.data(),
                           b.strides(), out);
}
int get(const NcVariable& v, const Box& b, short* out) {
  return nc_get_vars_short(v.ncid, v.varid, b.start.data(), b.count.data(),
                           b.strides(), out);
}
int get(const NcVariable& v, const Box& b, unsigned short* out) {
  return nc_get_vars_ushort(v.ncid, v.varid, b.start.data(), b.count.data(),
                            b.strides(), out);
}
int get(const NcVariable& v, const Box& b, int* out) {
  return nc_get_vars_int(v.ncid, v.varid, b.start.data(), b.count.data(),
                         b.strides(), out);
}
int get(const NcVariable& v, const Box& b, unsigned int* out) {
  return nc_get_vars_uint(v.ncid, v.varid, b.start.data(), b.count.data(),
                          b.strides(), out);
}
int get(const NcVariable& v, const Box& b, float* out) {
  return nc_get_vars_float(v.ncid, v.varid, b.start.data(), b.count.data(),
                           b.strides(), out);
}
int get(const NcVariable& v, const Box& b, double* out) {
  return nc_get_vars_double(v.ncid, v.varid, b.start.data(), b.count.data(),
                            b.strides(), out);
}
int get(const NcVariable& v, const Box& b, long long* out) {
  return nc_get_vars_longlong(v.ncid, v.varid, b.start.data(), b.count.data(),
                              b.strides(), out);
}
int get(const NcVariable& v, const Box& b, unsigned long long* out) {
  return nc_get_vars_ulonglong(v.ncid, v.varid, b.start.data(), b.count.data(),
                               b.strides(), out);
}

std::string context(const NcVariable& v) {
  return "Cannot read the values of \"" + v.name + "\"";
}

template <typename T>
void read_direct(const NcVariable& v, const Box& b, void* out) {
  check_nc(get(v, b, static_cast<T*>(out)), context(v));
}

// 64-bit integers as doubles, refusing any value that a double cannot hold
// exactly rather than sending a rounded one.
template <typename T>
void read_wide(const NcVariable& v, const Box& b, double* out) {
  std::vector<T> tmp(b.n);
  check_nc(get(v, b, tmp.data()), context(v));
  for (size_t i = 0; i < b.n; ++i) {
    if (!has_exact_double(tmp[i]))
      throw InexactValue(v.name, std::to_string(tmp[i]), i);
    out[i] = static_cast<double>(tmp[i]);
  }
}

void read_strings(const NcVariable& v, const Box& b, std::string* out) {
  std::vector<char*> tmp(b.n, nullptr);
  check_nc(nc_get_vars_string(v.ncid, v.varid, b.start.data(), b.count.data(),
                              b.strides(), tmp.data()),
           context(v));
  for (size_t i = 0; i < b.n; ++i) out[i] = tmp[i] ? tmp[i] : "";
  nc_free_string(b.n, tmp.data());
}

// Characters, one string of v.string_length per element of the box. The box
// is read a run of whole strings at a time, at most kCharRun characters.
void read_chars(const NcVariable& v, const Box& b, std::string* out) {
  constexpr size_t kCharRun = size_t{1} << 20;
  const size_t len = v.string_length;
  const size_t rank = b.count.size() - 1;  // served dimensions
  std::vector<size_t> start(b.start.begin(), b.start.begin() + rank);
  std::vector<size_t> count(rank + 1, 1), stride(rank + 1, 1);
  start.push_back(0);
  count[rank] = len;
  std::vector<ptrdiff_t> pstride(rank + 1, 1);
  for (size_t d = 0; d < rank; ++d) pstride[d] = b.stride[d];
  // Whole box at once when it is small; otherwise one string per call.
  if (b.n * len <= kCharRun) {
    std::vector<size_t> c(b.count.begin(), b.count.begin() + rank);
    c.push_back(len);
    std::string buf(b.n * len, '\0');
    check_nc(nc_get_vars_text(v.ncid, v.varid, start.data(), c.data(),
                              pstride.data(), buf.data()),
             context(v));
    for (size_t i = 0; i < b.n; ++i) {
      const char* s = buf.data() + i * len;
      out[i].assign(s, strnlen(s, len));
    }
    return;
  }
  std::vector<size_t> idx(rank, 0);
  std::string buf(len, '\0');
  for (size_t i = 0; i < b.n; ++i) {
    for (size_t d = 0; d < rank; ++d)
      start[d] = b.start[d] + idx[d] * static_cast<size_t>(b.stride[d]);
    check_nc(nc_get_vara_text(v.ncid, v.varid, start.data(), count.data(),
                              buf.data()),
             context(v));
    out[i].assign(buf.data(), strnlen(buf.data(), len));
    next_index(idx, b.count, 0, rank);
  }
}

}  // namespace

void read_nc_box(const NcVariable& v, const std::vector<size_t>& start,
                 const std::vector<size_t>& stride,
                 const std::vector<size_t>& count, void* out) {
  // Values of an NcML data set that its members hold are read there.
  if (NcmlDataSet* ncml = NcmlDataSet::of(v.ncid))
    if (ncml->read(v, start, stride, count, out)) return;
  const Box b(start, stride, count);
  if (b.n == 0) return;
  switch (v.xtype) {
    case NC_CHAR:
      return read_chars(v, b, static_cast<std::string*>(out));
    case NC_STRING:
      return read_strings(v, b, static_cast<std::string*>(out));
    case NC_INT64:
      return read_wide<long long>(v, b, static_cast<double*>(out));
    case NC_UINT64:
      return read_wide<unsigned long long>(v, b, static_cast<double*>(out));
    default:
      break;
  }
  const auto unreadable = [&](auto...) {
    throw Error(internal_error, "\"" + v.name + "\" has no readable type");
  };
  visit_scalar(
      v.type,
      [&](auto tag) {
        using T = typename decltype(tag)::value_type;
        if constexpr (decltype(tag)::is_string)
          unreadable();
        else
          read_direct<T>(v, b, out);
      },
      unreadable);
}

Array::BoxReader nc_box_reader(const NcVariable& v) {
  return
      [v](const Array&, const std::vector<size_t>& start,
          const std::vector<size_t>& stride, const std::vector<size_t>& count,
          void* out) { read_nc_box(v, start, stride, count, out); };
}

}  // namespace libqvp
