// Arrays are matched to netCDF variables by name in the file's root group and
// must agree in type and shape; anything else keeps the ordinary reader.
#include "NcFastPath.h"

#include <fcntl.h>
#include <libqvp/Grid.h>
#include <netcdf.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "NcReader.h"
#include "NcVariable.h"
#include "RawRunReader.h"

namespace libqvp {
namespace {

bool same_shape(const NcVariable& v, const Array& a) {
  if (v.type != a.element_type() || v.dim_sizes.size() != a.dimensions())
    return false;
  for (size_t d = 0; d < v.dim_sizes.size(); ++d)
    if (v.dim_sizes[d] != static_cast<size_t>(a.dims()[d].size)) return false;
  return true;
}

// Sizes the chunk cache of `v` for the selection of `a` (once, at the first
// box), then reads boxes as the ordinary reader does.
Array::BoxReader cached_reader(const NcVariable& v) {
  auto sized = std::make_shared<bool>(false);
  return [v, sized](const Array& a, const std::vector<size_t>& start,
                    const std::vector<size_t>& stride,
                    const std::vector<size_t>& count, void* out) {
    if (!*sized) {
      *sized = true;
      int storage = 0;
      std::vector<size_t> chunk(NC_MAX_VAR_DIMS, 0);
      nc_type xtype = v.xtype;
      size_t value_bytes = 0;
      if (nc_inq_var_chunking(v.ncid, v.varid, &storage, chunk.data()) ==
              NC_NOERR &&
          storage == NC_CHUNKED &&
          nc_inq_type(v.ncid, xtype, nullptr, &value_bytes) == NC_NOERR) {
        std::vector<size_t> first, last;
        for (const Array::Dimension& d : a.dims()) {
          first.push_back(static_cast<size_t>(d.start));
          last.push_back(static_cast<size_t>(d.start) +
                         static_cast<size_t>(std::max(d.c_size - 1, 0)) *
                             static_cast<size_t>(d.stride));
        }
        if (v.is_char() && !v.dimids.empty() && v.string_length > 0) {
          first.push_back(0);  // the string dimension, read whole
          last.push_back(v.string_length - 1);
        }
        chunk.resize(first.size());
        const size_t want = chunk_cache_bytes(chunk, first, last, value_bytes);
        size_t size = 0, slots = 0;
        float preemption = 0;
        if (nc_get_var_chunk_cache(v.ncid, v.varid, &size, &slots,
                                   &preemption) == NC_NOERR &&
            want > size)
          nc_set_var_chunk_cache(v.ncid, v.varid, want,
                                 std::max<size_t>(slots, want / 1024 + 1),
                                 preemption);
      }
    }
    read_nc_box(v, start, stride, count, out);
  };
}

void install(const NcFile& file, bool netcdf4, Array& a) {
  int varid = -1;
  if (nc_inq_varid(file.id(), a.name().c_str(), &varid) != NC_NOERR) return;
  if (file.raw_reader()) {
    auto reader =
        RawRunReader::encoded_reader(file.raw_reader(), file.id(), varid, a);
    if (reader) a.set_encoded_reader(std::move(reader));
    return;
  }
  NcVariable v;
  if (netcdf4 && describe_variable(file.id(), varid, v) && same_shape(v, a))
    a.set_box_reader(cached_reader(v));
}

}  // namespace

size_t chunk_cache_bytes(const std::vector<size_t>& chunk,
                         const std::vector<size_t>& first,
                         const std::vector<size_t>& last, size_t value_bytes) {
  const size_t rank = chunk.size();
  size_t outer = 0;  // the first dimension whose chunks span several indices
  while (outer < rank && (chunk[outer] <= 1 || first[outer] == last[outer]))
    ++outer;
  double bytes = static_cast<double>(value_bytes);
  double chunks = 1;
  for (size_t d = 0; d < rank; ++d) {
    const size_t c = std::max<size_t>(chunk[d], 1);
    bytes *= static_cast<double>(c);
    if (d > outer)
      chunks *= static_cast<double>(last[d] / c - first[d] / c + 1);
  }
  bytes *= chunks + 1;
  return static_cast<size_t>(
      std::min(bytes, static_cast<double>(kMaxChunkCacheBytes)));
}

void enlarge_output_pipe(FILE* out) {
  const int fd = fileno(out);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) return;
  const int now = fcntl(fd, F_GETPIPE_SZ);
  if (now >= 0 && now < kOutputPipeBytes)
    fcntl(fd, F_SETPIPE_SZ, kOutputPipeBytes);
}

void install_fast_readers(const NcFile& file, DDS& dds) {
  int format = 0;
  if (nc_inq_format(file.id(), &format) != NC_NOERR) return;
  const bool netcdf4 =
      format == NC_FORMAT_NETCDF4 || format == NC_FORMAT_NETCDF4_CLASSIC;
  for (auto it = dds.var_begin(); it != dds.var_end(); ++it) {
    if (auto* a = dynamic_cast<Array*>(*it)) {
      install(file, netcdf4, *a);
    } else if (auto* g = dynamic_cast<Grid*>(*it)) {
      if (g->array()) install(file, netcdf4, *g->array());
      for (size_t i = 0; i < g->map_count(); ++i)
        install(file, netcdf4, *g->map(i));
    }
  }
}

}  // namespace libqvp
