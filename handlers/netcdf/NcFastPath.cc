// Arrays are matched to netCDF variables by name in the file's root group.
// A raw reader also checks the variable's type and shape against the array's;
// a chunk cache only changes how fast the ordinary reader reads, so a wrong
// match there could cost memory (bounded), never change a value.
#include "NcFastPath.h"

#include <fcntl.h>
#include <libqvp/Grid.h>
#include <netcdf.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "RawRunReader.h"
#include "ncml/NcmlDataSet.h"

namespace libqvp {
namespace {

// Sizes the chunk cache of variable `varid` of `ncid` for boxes over the
// whole variable; a smaller selection touches fewer chunks, and the cache
// holds only chunks that were read. Leaves a larger cache as it is.
void size_chunk_cache(int ncid, int varid) {
  int storage = 0, ndims = 0;
  nc_type xtype = NC_NAT;
  size_t value_bytes = 0;
  std::vector<size_t> chunk(NC_MAX_VAR_DIMS, 0);
  int dimids[NC_MAX_VAR_DIMS];
  if (nc_inq_var(ncid, varid, nullptr, &xtype, &ndims, dimids, nullptr) !=
          NC_NOERR ||
      nc_inq_var_chunking(ncid, varid, &storage, chunk.data()) != NC_NOERR ||
      storage != NC_CHUNKED ||
      nc_inq_type(ncid, xtype, nullptr, &value_bytes) != NC_NOERR)
    return;
  std::vector<size_t> first(static_cast<size_t>(ndims), 0), last;
  for (int d = 0; d < ndims; ++d) {
    size_t len = 0;
    if (nc_inq_dimlen(ncid, dimids[d], &len) != NC_NOERR || len == 0) return;
    last.push_back(len - 1);
  }
  chunk.resize(first.size());
  const size_t want = chunk_cache_bytes(chunk, first, last, value_bytes);
  size_t size = 0, slots = 0;
  float preemption = 0;
  if (nc_get_var_chunk_cache(ncid, varid, &size, &slots, &preemption) ==
          NC_NOERR &&
      want > size)
    nc_set_var_chunk_cache(ncid, varid, want,
                           std::max<size_t>(slots, want / 1024 + 1),
                           preemption);
}

void install(const NcFile& file, bool netcdf4, Array& a) {
  // An NcML data set's arrays write their members' parts as the members'
  // own readers do; the arrays its image holds read as any array does.
  if (NcmlDataSet* ncml = file.ncml()) {
    a.set_encoded_reader(
        [ncml](const Array& array, const std::vector<size_t>& start,
               const std::vector<size_t>& stride,
               const std::vector<size_t>& count, Marshaller& m) {
          return ncml->write_encoded(array, start, stride, count, m);
        });
    return;
  }
  int varid = -1;
  if (nc_inq_varid(file.id(), a.name().c_str(), &varid) != NC_NOERR) return;
  if (file.raw_reader()) {
    auto reader =
        RawRunReader::encoded_reader(file.raw_reader(), file.id(), varid, a);
    if (reader) a.set_encoded_reader(std::move(reader));
  } else if (netcdf4) {
    size_chunk_cache(file.id(), varid);
  }
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
