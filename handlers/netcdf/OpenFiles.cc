#include "OpenFiles.h"

#include <libqvp/Pool.h>
#include <netcdf.h>
#include <sys/stat.h>

#include <algorithm>

#include "LruCache.h"
#include "RawRunReader.h"

namespace libqvp {
namespace {

// What an open file is charged, an estimate of what the netCDF library keeps
// for it: for a classic file its I/O buffer and its header, parsed (every
// attribute's values) and as read, about twice the header's bytes; for a
// netCDF-4 file HDF5's metadata cache and the chunks of the variables read
// (bench/pool.sh measures a worker's resident size with its caches full).
constexpr size_t kClassicBase = size_t{64} << 10;
constexpr size_t kNetcdf4Charge = size_t{2} << 20;

struct Kept {
  FileIdentity identity;
  std::shared_ptr<OpenNcFile> file;
};

bool g_enabled = false;

LruCache<Kept>& kept() {
  static LruCache<Kept> cache(OpenFiles::kMaxFiles, OpenFiles::kMaxBytes);
  return cache;
}

size_t charge(const OpenNcFile& file, size_t io_bytes) {
  if (!file.raw) return kNetcdf4Charge + io_bytes;
  // The header ends where the first variable's values begin.
  uint64_t header = 0;
  for (const ClassicVariable& v : file.raw->header().variables())
    header = header == 0 ? v.begin : std::min<uint64_t>(header, v.begin);
  return kClassicBase + io_bytes + 2 * static_cast<size_t>(header);
}

}  // namespace

OpenNcFile::~OpenNcFile() {
  if (ncid >= 0) nc_close(ncid);
}

std::shared_ptr<OpenNcFile> OpenFiles::open(const std::string& path,
                                            size_t io_bytes,
                                            const Opener& open) {
  if (!g_enabled) return open(nullptr);
  const std::string key = std::to_string(io_bytes) + ":" + path;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    kept().erase(key);
    Pool::count_cache(Pool::kOpenFilesCache, false);
    return open(nullptr);
  }
  const FileIdentity now = FileIdentity::of(st);
  if (Kept* k = kept().find(key)) {
    if (k->identity == now) {
      Pool::count_cache(Pool::kOpenFilesCache, true);
      return k->file;
    }
    kept().erase(key);
  }
  Pool::count_cache(Pool::kOpenFilesCache, false);
  FileIdentity opened;
  std::shared_ptr<OpenNcFile> file = open(&opened);
  if (opened == now) kept().put(key, Kept{now, file}, charge(*file, io_bytes));
  return file;
}

void OpenFiles::enable() { g_enabled = true; }

void OpenFiles::clear() { kept().clear(); }

}  // namespace libqvp
