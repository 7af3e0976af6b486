// The checks run in an order that discloses nothing: the path's form first,
// then the suffix and extension, and only then the filesystem, whose answers
// (missing, outside the root, not a regular file) all look alike to a client.
#include "RequestMap.h"

#include <libqvp/DataRoot.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "BrowseMap.h"
#include "HttpDate.h"
#include "RequestParts.h"
#include "RequestText.h"
#include "RootPath.h"

namespace libqvp {
namespace {

// What map_request reads of a request (see is_request_variable).
constexpr const char* kRequestVariables[] = {
    "PATH_INFO",   "SCRIPT_NAME",    "QUERY_STRING",
    "HTTP_HOST",   "SERVER_NAME",    "SERVER_ADDR",
    "SERVER_PORT", "REQUEST_SCHEME", "HTTP_IF_MODIFIED_SINCE"};
constexpr const char* kConfigurationVariables[] = {
    DataRoot::kVariable, "QVP_HANDLER_DIR", "QVP_TIMEOUT", "QVP_CONFIG"};

template <size_t N>
bool listed(const char* const (&names)[N], const char* name) {
  for (const char* n : names)
    if (strcmp(n, name) == 0) return true;
  return false;
}

constexpr size_t kMaxPath = 4096;
constexpr size_t kMaxQuery = 32 * 1024;
constexpr unsigned long kMaxTimeout = 24 * 3600;

Refusal misconfigured(std::string message) {
  return {500, "Internal Server Error", internal_error, std::move(message)};
}

std::string required(const EnvLookup& env, const char* name) {
  const char* v = env(name);
  if (v == nullptr || *v == '\0')
    throw misconfigured(std::string("The server's ") + name + " is not set");
  return v;
}

// Throws unless `path` is "/" followed by segments none of which is "." or
// ".." and contains no control byte.
void check_path_form(const std::string& path) {
  if (path.empty() || path[0] != '/' || path.size() > kMaxPath ||
      has_control_byte(path))
    throw bad_request("Invalid data set path");
  size_t begin = 1;
  while (begin <= path.size()) {
    size_t end = path.find('/', begin);
    if (end == std::string::npos) end = path.size();
    const std::string seg = path.substr(begin, end - begin);
    if (seg == "." || seg == "..") throw bad_request("Invalid data set path");
    begin = end + 1;
  }
}

// The real path of `rel` under `root`; "" unless it is a regular file
// inside the root (a link may point anywhere inside it).
std::string resolve_data_set(const std::string& root, const std::string& rel) {
  const std::string real_top = real_root(root);
  if (real_top.empty()) throw misconfigured("The data root is not readable");
  struct stat st {};
  const std::string real = resolve_in_root(real_top, rel, st);
  return real.empty() || !S_ISREG(st.st_mode) ? "" : real;
}

// A positive whole number of seconds, at most kMaxTimeout; 0 otherwise.
unsigned long parse_timeout(const char* text) {
  unsigned long v = 0;
  if (text == nullptr || read_number(text, 1, kMaxTimeout, v) != NumberText::ok)
    return 0;
  return v;
}

// The table QVP_CONFIG names, or the built-in one.
HandlerTable handler_table(const EnvLookup& env) {
  const char* path = env("QVP_CONFIG");
  if (path == nullptr || *path == '\0') return HandlerTable::builtin();
  try {
    return HandlerTable::load(path);
  } catch (const HandlerTable::ParseError& e) {
    // The detail goes to the server's log only: the client learns nothing
    // of the server's files.
    fprintf(stderr, "qvp: the handler table %s%s%s is malformed: %s\n", path,
            e.line ? ":" : "", e.line ? std::to_string(e.line).c_str() : "",
            e.message.c_str());
    fflush(stderr);
    throw misconfigured("The server's handler table is malformed");
  }
}

// Appends -e <query>, -l <If-Modified-Since> and -t <QVP_TIMEOUT> where
// the request and the configuration give them. Throws Refusal 400 for a
// query that is too long or holds a control byte.
void append_request_options(std::vector<std::string>& argv,
                            const EnvLookup& env) {
  const char* query = env("QUERY_STRING");
  if (query != nullptr && *query != '\0') {
    if (std::string(query).size() > kMaxQuery)
      throw bad_request("Constraint expression too long");
    check_query_form(query);
    argv.insert(argv.end(), {"-e", query});
  }
  time_t since = 0;
  const char* ims = env("HTTP_IF_MODIFIED_SINCE");
  if (ims != nullptr && parse_http_date(ims, since))
    argv.insert(argv.end(), {"-l", std::to_string(since)});
  if (const unsigned long t = parse_timeout(env("QVP_TIMEOUT")))
    argv.insert(argv.end(), {"-t", std::to_string(t)});
}

}  // namespace

bool is_request_variable(const char* name) {
  return listed(kRequestVariables, name);
}

bool is_configuration_variable(const char* name) {
  return listed(kConfigurationVariables, name);
}

HandlerCall map_request(const EnvLookup& env, const std::string& version) {
  const HandlerTable table = handler_table(env);
  return map_request(env, version, table);
}

HandlerCall map_request(const EnvLookup& given, const std::string& version,
                        const HandlerTable& table) {
  const EnvLookup env = [&given](const char* name) -> const char* {
    return is_request_variable(name) || is_configuration_variable(name)
               ? given(name)
               : nullptr;
  };
  const std::string root = required(env, DataRoot::kVariable);
  const std::string handler_dir = required(env, "QVP_HANDLER_DIR");
  const char* info = env("PATH_INFO");
  const std::string path = info ? info : "";
  check_path_form(path);
  if (path.back() == '/')
    return map_catalogue(env, version, root, handler_dir, path, table);

  const std::string suffix = extension_of(path);
  const char* response = table.response_for(suffix);
  if (response == nullptr) {
    throw_browser_redirect(env, root, path, table);
    throw bad_request("Unknown response suffix: \"" + url_path_encode(suffix) +
                      "\"");
  }
  const std::string rel = path.substr(1, path.size() - suffix.size() - 2);
  if (rel.empty() || rel.back() == '/') throw bad_request("No data set named");
  const char* program = table.program_for(extension_of(rel));
  const std::string real = program ? resolve_data_set(root, rel) : "";
  if (real.empty()) {
    // A suffix that is also a data set's extension ("sst.nc" asks for the
    // netCDF download of "sst"): the bare data set's page when there is one.
    throw_browser_redirect(env, root, path, table);
    throw not_found(rel);
  }

  HandlerCall call;
  call.program = program_path(handler_dir, program);
  call.argv = {call.program};
  append_response(call.argv, response);
  call.argv.insert(call.argv.end(),
                   {"-v", version, "-u", data_set_url(env, rel)});
  append_request_options(call.argv, env);
  call.argv.push_back(escape_percent(real));
  return call;
}

}  // namespace libqvp
