// Directory and bare data set requests. As in RequestMap.cc, nothing is
// looked up in the filesystem before the path's form has been checked, and
// everything outside the root (missing, a link leaving it) looks alike.
#include "BrowseMap.h"

#include <sys/stat.h>

#include <cstring>

#include "RequestParts.h"
#include "RootPath.h"

namespace libqvp {
namespace {

constexpr size_t kMaxCatalogueQuery = 1024;

std::string joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& i : items) out += (out.empty() ? "" : ",") + i;
  return out;
}

}  // namespace

void append_response(std::vector<std::string>& argv, const char* response) {
  for (const char* view :
       {kViewPage, kViewCsv, kViewNetcdf, kViewNetcdf4, kViewImage}) {
    if (strcmp(response, view) == 0) {
      argv.push_back(std::string("--view=") + response);
      return;
    }
  }
  argv.insert(argv.end(), {"-o", response});
}

HandlerCall map_catalogue(const EnvLookup& env, const std::string& version,
                          const std::string& root,
                          const std::string& handler_dir,
                          const std::string& path, const HandlerTable& table) {
  const std::string rel = path.substr(1);
  struct stat st {};
  const std::string real = resolve_in_root(real_root(root), rel, st);
  if (real.empty() || !S_ISDIR(st.st_mode)) throw not_found(rel);
  std::vector<std::string> extensions;
  for (const HandlerTable::Row& h : table.handlers())
    extensions.push_back(h.key);
  if (extensions.empty()) throw not_found(rel);
  HandlerCall call;
  call.program =
      program_path(handler_dir, table.program_for(extensions.front()));
  const std::string url = data_set_url(env, rel);
  call.argv = {
      call.program, "--view=catalog", "--extensions=" + joined(extensions),
      "-v",         version,          "-u",
      url};
  const char* query = env("QUERY_STRING");
  if (query != nullptr && *query != '\0') {
    if (strlen(query) > kMaxCatalogueQuery) throw bad_request("Query too long");
    check_query_form(query);
    call.argv.insert(call.argv.end(), {"-e", query});
  }
  call.argv.push_back(escape_percent(real));
  return call;
}

void throw_browser_redirect(const EnvLookup& env, const std::string& root,
                            const std::string& path,
                            const HandlerTable& table) {
  const std::string rel = path.substr(1);
  struct stat st {};
  if (rel.empty() || resolve_in_root(real_root(root), rel, st).empty()) return;
  std::string location;
  if (S_ISDIR(st.st_mode)) {
    location = data_set_url(env, rel) + "/";
  } else if (S_ISREG(st.st_mode) && table.program_for(extension_of(rel))) {
    location = data_set_url(env, rel) + ".html";
  } else {
    return;
  }
  Refusal moved{301, "Moved Permanently", 0, "Moved to " + location};
  moved.location = location;
  throw moved;
}

}  // namespace libqvp
