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

// Appends the identity of the file `st` describes to `key`, with its change
// time: a file made readable or unreadable (chmod) is read, or skipped,
// differently at once.
void add_identity(std::string& key, const struct stat& st) {
  const FileIdentity id = FileIdentity::of(st);
  key += '\0';
  for (uint64_t part :
       {id.device, id.inode, id.size, static_cast<uint64_t>(id.mtime_ns),
        static_cast<uint64_t>(st.st_ctim.tv_sec),
        static_cast<uint64_t>(st.st_ctim.tv_nsec)}) {
    key += std::to_string(part);
    key += ',';
  }
}

// Appends the file `name` (its path and identity; nothing but a mark when
// it is "" or gone) to `key` and returns its modification time, 0 when
// there is none.
time_t add_file(std::string& key, const std::string& name) {
  struct stat st {};
  key += '\0';
  if (name.empty() || stat(name.c_str(), &st) != 0) return 0;
  key += name;
  add_identity(key, st);
  return st.st_mtime;
}

// Appends the served ancillary file of `f`'s data set with extension `ext`
// to `key` as add_file does.
time_t add_ancillary(std::string& key, const NcFilter& f, const char* ext) {
  key += '\0';
  key += ext;
  return add_file(key, Ancillary::find_served_ancillary_file(
                           f.get_dataset_name(), ext, f.ancillary_dir(),
                           f.ancillary_file()));
}

}  // namespace

std::optional<ResponseBodies::Sources> ResponseBodies::sources(
    const NcFilter& f, Kind kind, const BrowserView* view) {
  const std::string& path = f.get_dataset_name();
  struct stat st {};
  if (!g_enabled || (kind == page && view == nullptr) ||
      NcmlDataSet::names_document(path) || stat(path.c_str(), &st) != 0 ||
      !S_ISREG(st.st_mode))
    return std::nullopt;
  static const char* const kKinds[] = {"das", "dds", "ddx", "page"};
  static const ObjectType kTypes[] = {vorn_das, vorn_dds, qvp4_ddx,
                                      unknown_type};
  Sources s{kKinds[kind], kTypes[kind], st.st_mtime};
  s.key += '\0';
  s.key += path;
  add_identity(s.key, st);
  s.key += '\0';
  s.key += f.get_ce();
  if (kind == ddx || kind == page) {
    s.key += '\0';
    s.key += f.get_URL();
  }
  // The DAS, the DDX and the page read the ancillary DAS, all but the DAS
  // the ancillary DDS; the DAS is dated by its ancillary file, the DDS and
  // the DDX by the DDS's, the page by both.
  if (kind != dds) {
    const time_t t = add_ancillary(s.key, f, "das");
    if (kind == das || kind == page)
      s.last_modified = std::max(s.last_modified, t);
  }
  if (kind != das)
    s.last_modified = std::max(s.last_modified, add_ancillary(s.key, f, "dds"));
  // The page also shows the user-supplied documents, present or not.
  if (kind == page)
    for (const std::string& name : view->page_documents(f))
      add_file(s.key, name);
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
