#include "ResponseBodies.h"

#include <libqvp/Ancillary.h>
#include <libqvp/Pool.h>
#include <sys/stat.h>

#include <algorithm>

#include "LruCache.h"
#include "ncml/FileIdentity.h"
#include "ncml/NcmlDataSet.h"

namespace libqvp {
namespace {

bool g_enabled = false;

LruCache<std::string>& kept() {
  static LruCache<std::string> cache(ResponseBodies::kMaxBodies,
                                     ResponseBodies::kMaxBytes);
  return cache;
}

// Appends the identity of the file `st` describes to `key`.
void add_identity(std::string& key, const struct stat& st) {
  const FileIdentity id = FileIdentity::of(st);
  key += '\0';
  for (uint64_t part :
       {id.device, id.inode, id.size, static_cast<uint64_t>(id.mtime_ns)}) {
    key += std::to_string(part);
    key += ',';
  }
}

// Appends the served ancillary file of `f`'s data set with extension `ext`
// (its path and identity; nothing but a mark when there is none) to `key`
// and returns its modification time, 0 when there is none.
time_t add_ancillary(std::string& key, const NcFilter& f, const char* ext) {
  const std::string name = Ancillary::find_served_ancillary_file(
      f.get_dataset_name(), ext, f.ancillary_dir(), f.ancillary_file());
  struct stat st {};
  key += '\0';
  key += ext;
  if (name.empty() || stat(name.c_str(), &st) != 0) return 0;
  key += '\0';
  key += name;
  add_identity(key, st);
  return st.st_mtime;
}

}  // namespace

std::optional<ResponseBodies::Sources> ResponseBodies::sources(
    const NcFilter& f, Kind kind) {
  const std::string& path = f.get_dataset_name();
  struct stat st {};
  if (!g_enabled || NcmlDataSet::names_document(path) ||
      stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return std::nullopt;
  static const char* const kKinds[] = {"das", "dds", "ddx"};
  Sources s{kKinds[kind],
            kind == das   ? vorn_das
            : kind == dds ? vorn_dds
                          : qvp4_ddx,
            st.st_mtime};
  s.key += '\0';
  s.key += path;
  add_identity(s.key, st);
  s.key += '\0';
  s.key += f.get_ce();
  if (kind == ddx) {
    s.key += '\0';
    s.key += f.get_URL();
  }
  // The DAS and the DDX read the ancillary DAS, the DDS and the DDX the
  // ancillary DDS; the DAS is dated by its ancillary file, the others by
  // the DDS's.
  if (kind != dds) {
    const time_t t = add_ancillary(s.key, f, "das");
    if (kind == das) s.last_modified = std::max(s.last_modified, t);
  }
  if (kind != das)
    s.last_modified = std::max(s.last_modified, add_ancillary(s.key, f, "dds"));
  return s;
}

const std::string* ResponseBodies::find(const std::string& key) {
  const std::string* body = kept().find(key);
  Pool::count_cache(Pool::kResponseBodiesCache, body != nullptr);
  return body;
}

void ResponseBodies::put(const std::string& key, std::string body) {
  const size_t bytes = body.size();
  kept().put(key, std::move(body), bytes);
}

void ResponseBodies::enable() { g_enabled = true; }

}  // namespace libqvp
