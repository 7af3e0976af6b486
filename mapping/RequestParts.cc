// Request text that a message or a URL carries is percent-encoded, so that
// neither a refusal nor a handler's argument carries markup or control bytes
// from the request.
#include "RequestParts.h"

#include "RequestText.h"

namespace libqvp {
namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
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

Refusal bad_request(std::string message) {
  return {400, "Bad Request", usage_error, std::move(message)};
}

Refusal not_found(const std::string& name) {
  return {404, "Not Found", no_such_data_set,
          "No such data set: \"" + url_path_encode(name) + "\""};
}

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
    if (is_control_byte(c)) throw bad_request("Control character in the query");
  }
}

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

}  // namespace libqvp
