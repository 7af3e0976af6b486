// The checks run in an order that discloses nothing: the path's form first,
// then the suffix and extension, and only then the filesystem, whose answers
// (missing, outside the root, not a regular file) all look alike to a client.
#include "RequestMap.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "BrowseMap.h"
#include "HttpDate.h"
#include "RequestParts.h"

namespace libqvp {
namespace {

// What map_request reads of a request (see is_request_variable).
constexpr const char* kRequestVariables[] = {
    "PATH_INFO",   "SCRIPT_NAME",    "QUERY_STRING",
    "HTTP_HOST",   "SERVER_NAME",    "SERVER_ADDR",
    "SERVER_PORT", "REQUEST_SCHEME", "HTTP_IF_MODIFIED_SINCE"};
constexpr const char* kConfigurationVariables[] = {
    "QVP_DATA_ROOT", "QVP_HANDLER_DIR", "QVP_TIMEOUT", "QVP_CONFIG"};

template <size_t N>
bool listed(const char* const (&names)[N], const char* name) {
  for (const char* n : names)
    if (strcmp(n, name) == 0) return true;
  return false;
}

constexpr size_t kMaxPath = 4096;
constexpr size_t kMaxQuery = 32 * 1024;
constexpr long kMaxTimeout = 24 * 3600;

Refusal bad_request(std::string message) {
  return {400, "Bad Request", usage_error, std::move(message)};
}

bool is_control(unsigned char c) { return c < 0x20 || c == 0x7f; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool is_request_variable(const char* name) {
  return listed(kRequestVariables, name);
}

bool is_configuration_variable(const char* name) {
  return listed(kConfigurationVariables, name);
}

// Web servers differ here: lighttpd refuses a URL with an encoded control
// byte itself, nginx passes it on. Refused here, every front answers alike,
// and no control byte reaches a handler's command line or its log lines.
void check_query_form(const std::string& query) {
  for (size_t i = 0; i < query.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(query[i]);
    if (c == '%' && i + 2 < query.size() && hex_value(query[i + 1]) >= 0 &&
        hex_value(query[i + 2]) >= 0)
      c = static_cast<unsigned char>(hex_value(query[i + 1]) * 16 +
                                     hex_value(query[i + 2]));
    if (is_control(c)) throw bad_request("Control character in the query");
  }
}

// Shared with the browser's mapping (BrowseMap.cc), through RequestParts.h.
// Request text in a message is percent-encoded, so that a refusal never
// carries markup or control bytes from the request.
Refusal not_found(const std::string& name) {
  return {404, "Not Found", no_such_data_set,
          "No such data set: \"" + url_path_encode(name) + "\""};
}

namespace {

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
  if (path.empty() || path[0] != '/' || path.size() > kMaxPath)
    throw bad_request("Invalid data set path");
  for (unsigned char c : path)
    if (is_control(c)) throw bad_request("Invalid data set path");
  size_t begin = 1;
  while (begin <= path.size()) {
    size_t end = path.find('/', begin);
    if (end == std::string::npos) end = path.size();
    const std::string seg = path.substr(begin, end - begin);
    if (seg == "." || seg == "..") throw bad_request("Invalid data set path");
    begin = end + 1;
  }
}

}  // namespace

std::string extension_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return "";
  return path.substr(dot + 1);
}

std::string program_path(const std::string& handler_dir, const char* program) {
  return program[0] == '/' ? program : handler_dir + "/" + program;
}

std::string real_path(const std::string& path) {
  std::unique_ptr<char, decltype(&free)> r(realpath(path.c_str(), nullptr),
                                           &free);
  return r ? std::string(r.get()) : std::string();
}

namespace {

// The real path of `rel` under `root`; throws 404 unless it is a regular file
// inside the root (a link may point anywhere inside it).
std::string resolve_data_set(const std::string& root, const std::string& rel) {
  const std::string real_root = real_path(root);
  if (real_root.empty()) throw misconfigured("The data root is not readable");
  const std::string real = real_path(real_root + "/" + rel);
  const std::string prefix = real_root == "/" ? "/" : real_root + "/";
  struct stat st {};
  if (real.empty() || real.compare(0, prefix.size(), prefix) != 0 ||
      stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    throw not_found(rel);
  return real;
}

bool valid_host(const std::string& host) {
  if (host.empty() || host.size() > 255) return false;
  for (unsigned char c : host) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    (c >= '0' && c <= '9') || c == '.' || c == '-' ||
                    c == ':' || c == '[' || c == ']';
    if (!ok) return false;
  }
  return true;
}

// The request's Host; without one (an HTTP/1.0 client) the server's own name
// (or, when it has none, its address) and port, the port left out when it is
// the scheme's default.
std::string host_of(const EnvLookup& env, const std::string& scheme) {
  const char* host = env("HTTP_HOST");
  if (host != nullptr && *host != '\0') return host;
  const char* name = env("SERVER_NAME");
  if (name == nullptr || *name == '\0') name = env("SERVER_ADDR");
  if (name == nullptr || *name == '\0') return "";
  std::string out = name;
  if (out.find(':') != std::string::npos && out[0] != '[')
    out = "[" + out + "]";  // an IPv6 address
  const char* port = env("SERVER_PORT");
  const std::string usual = scheme == "https" ? "443" : "80";
  if (port != nullptr && *port != '\0' && port != usual)
    out += std::string(":") + port;
  return out;
}

}  // namespace

std::string data_set_url(const EnvLookup& env, const std::string& rel) {
  const char* scheme = env("REQUEST_SCHEME");
  const std::string s =
      scheme && std::string(scheme) == "https" ? "https" : "http";
  const std::string host = host_of(env, s);
  if (!valid_host(host)) throw bad_request("Invalid Host header");
  const char* script = env("SCRIPT_NAME");
  return s + "://" + host + url_path_encode(script ? script : "") + "/" +
         url_path_encode(rel);
}

namespace {

// A positive whole number of seconds, at most kMaxTimeout; 0 otherwise.
long parse_timeout(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  char* end = nullptr;
  const long v = strtol(text, &end, 10);
  if (*end != '\0' || v <= 0 || v > kMaxTimeout) return 0;
  return v;
}

}  // namespace

std::string escape_percent(const std::string& path) {
  std::string out;
  for (char c : path) out += c == '%' ? std::string("%25") : std::string(1, c);
  return out;
}

std::string url_path_encode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  static const std::string kKeep = "-._~/!$&'()*+,;=:@";
  std::string out;
  for (unsigned char c : text) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9') ||
                       kKeep.find(static_cast<char>(c)) != std::string::npos;
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

namespace {

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

}  // namespace

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
  const std::string root = required(env, "QVP_DATA_ROOT");
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
  if (program == nullptr) throw not_found(rel);
  const std::string real = resolve_data_set(root, rel);

  HandlerCall call;
  call.program = program_path(handler_dir, program);
  call.argv = {call.program};
  append_response(call.argv, response);
  call.argv.insert(call.argv.end(),
                   {"-v", version, "-u", data_set_url(env, rel)});
  const char* query = env("QUERY_STRING");
  if (query != nullptr && *query != '\0') {
    if (std::string(query).size() > kMaxQuery)
      throw bad_request("Constraint expression too long");
    check_query_form(query);
    call.argv.insert(call.argv.end(), {"-e", query});
  }
  time_t since = 0;
  const char* ims = env("HTTP_IF_MODIFIED_SINCE");
  if (ims != nullptr && parse_http_date(ims, since))
    call.argv.insert(call.argv.end(), {"-l", std::to_string(since)});
  if (const long t = parse_timeout(env("QVP_TIMEOUT")))
    call.argv.insert(call.argv.end(), {"-t", std::to_string(t)});
  call.argv.push_back(escape_percent(real));
  return call;
}

}  // namespace libqvp
