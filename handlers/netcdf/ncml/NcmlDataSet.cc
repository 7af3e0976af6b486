// The process keeps up to kKept documents; each use checks every dependency
// with a stat, so a changed member list, member or document is never served
// from memory. Documents being made are tracked, so that one that reaches
// itself through its members is refused instead of recursing.
#include "NcmlDataSet.h"

#include <libqvp/DataRoot.h>
#include <libqvp/Error.h>
#include <libqvp/Pool.h>
#include <libqvp/cgi_util.h>
#include <netcdf.h>
#include <netcdf_mem.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "IndexStore.h"
#include "LoggedError.h"
#include "NcFile.h"

namespace libqvp {
namespace {

uint64_t g_request = 0;  // counts begin_request(); 0 before the first

std::map<int, NcmlDataSet*>& open_images() {
  static std::map<int, NcmlDataSet*> images;
  return images;
}

// Most recently used last.
std::vector<std::pair<std::string, std::shared_ptr<NcmlDataSet>>>& kept() {
  // Never destroyed: the images must not be closed after the netCDF
  // library has shut down at exit.
  static auto* k =
      new std::vector<std::pair<std::string, std::shared_ptr<NcmlDataSet>>>;
  return *k;
}

std::vector<std::string>& being_made() {
  static std::vector<std::string> docs;
  return docs;
}

bool unchanged(const std::vector<Dependency>& depends) {
  for (const Dependency& d : depends) {
    FileIdentity now;
    if (!FileIdentity::of(d.path, now) || now != d.identity) return false;
  }
  return true;
}

NcmlIndex make_index(const std::string& real, const std::string& path) {
  const std::string name = base_name(real);
  std::vector<std::string>& making = being_made();
  if (std::find(making.begin(), making.end(), real) != making.end())
    throw Error(internal_error,
                "\"" + name + "\" includes itself through its members");
  making.push_back(real);
  NcmlBuild build;
  NcmlIndex index;
  try {
    build_ncml(real, DataRoot::of(path), build);
    index = NcmlIndex::of(real, build);
  } catch (const Error& e) {
    making.pop_back();
    index = NcmlIndex();
    index.document = real;
    index.depends = build.depends;
    index.error = e.get_error_message();
    ErrMsgT("\"" + name + "\" cannot be served: " + index.error);
    return index;
  } catch (...) {
    making.pop_back();
    throw;
  }
  making.pop_back();
  return index;
}

NcmlIndex load_index(const std::string& real, const std::string& path) {
  const std::string dir = IndexStore::directory();
  const std::string file = dir.empty() ? "" : IndexStore::file_for(dir, real);
  std::string bytes;
  NcmlIndex index;
  if (!file.empty() && IndexStore::read(file, bytes) && index.decode(bytes) &&
      index.document == real && unchanged(index.depends)) {
    Pool::count_cache(Pool::kAggregationIndexCache, true);
    return index;
  }
  Pool::count_cache(Pool::kAggregationIndexCache, false);
  index = make_index(real, path);
  if (!file.empty()) IndexStore::write(file, index.encode());
  return index;
}

}  // namespace

bool NcmlDataSet::names_document(const std::string& path) {
  return path.size() > 5 && path.compare(path.size() - 5, 5, ".ncml") == 0;
}

std::shared_ptr<NcmlDataSet> NcmlDataSet::open(const std::string& path) {
  const std::string real = DataRoot::real_path(path);
  if (real.empty())
    throw Error(no_such_data_set,
                "No such data set: \"" + base_name(path) + "\"");
  auto& k = kept();
  auto it = std::find_if(k.begin(), k.end(),
                         [&](const auto& e) { return e.first == real; });
  std::shared_ptr<NcmlDataSet> ds;
  if (it != k.end()) {
    if (it->second->current()) {
      ds = it->second;
      Pool::count_cache(Pool::kAggregationIndexCache, true);
    }
    k.erase(it);
  }
  if (!ds) {
    ds = std::make_shared<NcmlDataSet>(load_index(real, path));
    ds->d_checked_in = g_request;  // made or checked just now
  }
  if (k.size() >= kKept) k.erase(k.begin());
  k.emplace_back(real, ds);
  if (!ds->d_index.error.empty())
    throw LoggedError(internal_error, ds->d_index.error);
  return ds;
}

NcmlDataSet* NcmlDataSet::of(int ncid) {
  const auto& images = open_images();
  if (images.empty()) return nullptr;
  const auto it = images.find(ncid);
  return it == images.end() ? nullptr : it->second;
}

NcmlDataSet::NcmlDataSet(NcmlIndex index)
    : d_index(std::move(index)), d_reads(d_index, [this] { forget(); }) {}

NcmlDataSet::~NcmlDataSet() {
  d_reads.release();
  if (d_ncid >= 0) {
    open_images().erase(d_ncid);
    nc_close(d_ncid);
  }
}

int NcmlDataSet::ncid() {
  if (d_ncid >= 0) return d_ncid;
  const std::string name = base_name(d_index.document);
  // Locked: the library reads the image where it is and never frees or
  // grows it.
  NC_memio memio{d_index.image.size(), d_index.image.data(), NC_MEMIO_LOCKED};
  check_nc(nc_open_memio(name.c_str(), NC_NOWRITE, &memio, &d_ncid),
           "Cannot open the description of \"" + name + "\"");
  open_images()[d_ncid] = this;
  d_reads.map_variables(d_ncid);
  return d_ncid;
}

time_t NcmlDataSet::last_modified() const {
  int64_t newest = 0;
  for (const Dependency& d : d_index.depends)
    newest = std::max(newest, d.identity.mtime_ns);
  for (const VirtualMember& m : d_index.members)
    newest = std::max(newest, m.identity.mtime_ns);
  return static_cast<time_t>(newest / 1000000000);
}

void NcmlDataSet::begin_request() { ++g_request; }

bool NcmlDataSet::current() {
  if (d_stale) return false;
  if (g_request != 0 && d_checked_in == g_request) return true;
  if (!unchanged(d_index.depends)) return false;
  d_checked_in = g_request;
  return true;
}

// A member changed under the index: the index file goes, and this copy is
// not used again.
void NcmlDataSet::forget() {
  d_stale = true;
  const std::string dir = IndexStore::directory();
  if (!dir.empty()) unlink(IndexStore::file_for(dir, d_index.document).c_str());
}

}  // namespace libqvp
