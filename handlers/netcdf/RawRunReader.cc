// A box is made of runs: the last dimension's selection (stride 1), widened
// over the dimensions before it while the dimensions after them are selected
// whole. Every run is read with pread into one buffer, which goes to the
// marshaller in one call; the marshaller hands such a buffer straight to the
// output. Offsets come from the checked header and the array's own checked
// box, so no byte from outside the variable can be read.
#include "RawRunReader.h"

#include <endian.h>
#include <libqvp/Error.h>
#include <libqvp/Marshaller.h>
#include <libqvp/cgi_util.h>
#include <libqvp/next_index.h>
#include <netcdf.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace libqvp {
namespace {

uint64_t big_endian(const unsigned char* b, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v = v << 8 | b[i];
  return v;
}

// The bits of the value at `index` as the netCDF library reads it; false
// when it cannot be read.
bool library_bits(int ncid, int varid, int type,
                  const std::vector<size_t>& index, uint64_t& bits) {
  int status = NC_EBADTYPE;
  if (type == NC_INT || type == NC_UINT || type == NC_FLOAT) {
    uint32_t v = 0;
    if (type == NC_INT)
      status = nc_get_var1_int(ncid, varid, index.data(),
                               reinterpret_cast<int*>(&v));
    else if (type == NC_UINT)
      status = nc_get_var1_uint(ncid, varid, index.data(), &v);
    else
      status = nc_get_var1_float(ncid, varid, index.data(),
                                 reinterpret_cast<float*>(&v));
    bits = v;
  } else if (type == NC_SHORT || type == NC_USHORT) {
    unsigned short v = 0;
    if (type == NC_SHORT)
      status = nc_get_var1_short(ncid, varid, index.data(),
                                 reinterpret_cast<short*>(&v));
    else
      status = nc_get_var1_ushort(ncid, varid, index.data(), &v);
    bits = v;
  } else if (type == NC_DOUBLE) {
    double d = 0;
    status = nc_get_var1_double(ncid, varid, index.data(), &d);
    std::memcpy(&bits, &d, sizeof d);
  }
  return status == NC_NOERR;
}

// The types whose runs are read raw: 32- and 64-bit values are their XDR
// encoding; 16-bit values only need their bytes swapped.
bool is_raw_type(int type) {
  return type == NC_SHORT || type == NC_USHORT || type == NC_INT ||
         type == NC_UINT || type == NC_FLOAT || type == NC_DOUBLE;
}

// Puts the `n` big-endian 16-bit values at `bytes` into native order, in
// place.
void to_native_16(char* bytes, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    uint16_t v;
    std::memcpy(&v, bytes + 2 * i, 2);
    v = be16toh(v);
    std::memcpy(bytes + 2 * i, &v, 2);
  }
}

}  // namespace

RawRunReader::RawRunReader(FileDescriptor fd, ClassicHeader header,
                           std::string name)
    : d_fd(std::move(fd)),
      d_header(std::move(header)),
      d_name(std::move(name)),
      d_checks(d_header.variables().size(), Check::unknown) {}

Array::EncodedReader RawRunReader::encoded_reader(
    const std::shared_ptr<RawRunReader>& self, int ncid, int varid,
    const Array& array) {
  std::vector<uint64_t> shape;
  for (const auto& d : array.dims())
    shape.push_back(static_cast<uint64_t>(d.size));
  return encoded_reader(self, ncid, varid, array.name(), shape);
}

Array::EncodedReader RawRunReader::encoded_reader(
    const std::shared_ptr<RawRunReader>& self, int ncid, int varid,
    const std::string& name, const std::vector<uint64_t>& shape) {
  const auto& vars = self->d_header.variables();
  if (varid < 0 || static_cast<size_t>(varid) >= vars.size()) return nullptr;
  const ClassicVariable& v = vars[static_cast<size_t>(varid)];
  if (v.is_record || !is_raw_type(v.type) || v.name != name ||
      v.shape != shape || v.shape.empty())
    return nullptr;
  const size_t index = static_cast<size_t>(varid);
  return [self, ncid, index](const Array&, const std::vector<size_t>& start,
                             const std::vector<size_t>& stride,
                             const std::vector<size_t>& count, Marshaller& m) {
    return self->read_box(ncid, index, start, stride, count, m);
  };
}

bool RawRunReader::agrees_with_library(int ncid, size_t index) {
  Check& check = d_checks[index];
  if (check != Check::unknown) return check == Check::same;
  check = Check::different;
  const ClassicVariable& v = d_header.variables()[index];
  if (v.values == 0) return false;
  const size_t rank = v.shape.size();
  std::vector<size_t> first(rank, 0), last(rank);
  for (size_t d = 0; d < rank; ++d)
    last[d] = static_cast<size_t>(v.shape[d] - 1);
  const int varid = static_cast<int>(index);
  const size_t width = static_cast<size_t>(v.value_bytes);
  unsigned char raw[8];
  for (const auto* at : {&first, &last}) {
    uint64_t offset = 0;  // elements, row-major
    for (size_t d = 0; d < rank; ++d) offset = offset * v.shape[d] + (*at)[d];
    read_exactly(reinterpret_cast<char*>(raw), width, v.begin + offset * width,
                 v);
    uint64_t bits = 0;
    if (!library_bits(ncid, varid, v.type, *at, bits) ||
        bits != big_endian(raw, width)) {
      ErrMsgT("\"" + d_name + "\": the values of \"" + v.name +
              "\" on disk differ from the netCDF library's; they are "
              "decoded instead");
      return false;
    }
  }
  check = Check::same;
  return true;
}

void RawRunReader::read_exactly(char* out, size_t n, uint64_t offset,
                                const ClassicVariable& v) const {
  while (n > 0) {
    const ssize_t r = pread(d_fd.get(), out, n, static_cast<off_t>(offset));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0)
      throw Error(internal_error,
                  "Cannot read the values of \"" + v.name + "\" from \"" +
                      d_name + "\": " +
                      (r == 0 ? std::string("the file ends before them")
                              : std::string(strerror(errno))));
    out += r;
    n -= static_cast<size_t>(r);
    offset += static_cast<uint64_t>(r);
  }
}

bool RawRunReader::read_box(int ncid, size_t index,
                            const std::vector<size_t>& start,
                            const std::vector<size_t>& stride,
                            const std::vector<size_t>& count, Marshaller& m) {
  const ClassicVariable& v = d_header.variables()[index];
  const size_t rank = v.shape.size();
  const size_t width = static_cast<size_t>(v.value_bytes);
  if (count.size() != rank) return false;
  // The run: dimensions inner..rank-1, contiguous on disk.
  size_t inner = rank - 1;
  if (count[inner] > 1 && stride[inner] != 1) return false;
  size_t run = count[inner];
  while (inner > 0 && count[inner] == v.shape[inner] &&
         (count[inner - 1] == 1 || stride[inner - 1] == 1)) {
    --inner;
    run *= count[inner];
  }
  if (run * width < kMinRunBytes) return false;
  if (!agrees_with_library(ncid, index)) return false;

  std::vector<uint64_t> extent(rank, 1);  // elements per step of dimension d
  for (size_t d = rank - 1; d > 0; --d) extent[d - 1] = extent[d] * v.shape[d];
  size_t total = run;
  for (size_t d = 0; d < inner; ++d) total *= count[d];
  d_buf.resize(total * width);
  uint64_t run_start = 0;  // the run's first element past the outer ones
  for (size_t d = inner; d < rank; ++d) run_start += start[d] * extent[d];
  std::vector<size_t> idx(inner, 0);
  char* out = d_buf.data();
  for (;;) {
    uint64_t element = run_start;
    for (size_t d = 0; d < inner; ++d)
      element += (start[d] + idx[d] * stride[d]) * extent[d];
    read_exactly(out, run * width, v.begin + element * width, v);
    out += run * width;
    if (!next_index(idx, count, 0, inner)) break;
  }
  if (width == 2) {  // the marshaller widens native 16-bit values
    to_native_16(d_buf.data(), total);
    m.put_values(d_buf.data(), total,
                 v.type == NC_SHORT ? Type::Int16 : Type::UInt16);
  } else {
    m.put_encoded(d_buf.data(), d_buf.size());
  }
  return true;
}

}  // namespace libqvp
