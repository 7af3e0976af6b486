// qvp_dispatch: the CGI program that the web server runs for every request.
// It maps the request to a handler's command line and replaces itself with
// the handler (no extra process); what it refuses it answers itself.
#include <libqvp/DataRoot.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ErrorReply.h"
#include "RequestMap.h"

#ifndef QVP_VERSION
#define QVP_VERSION "0"
#endif

namespace {
constexpr const char* kVersion = "qvp_dispatch/" QVP_VERSION;

// The handler's whole environment: the data root (which bounds what it
// reads), a fixed PATH, the netCDF library's switch that makes it ignore its
// configuration files, the time zone of the error log and the directory of
// the handler's indexes. Nothing of the
// request's or the web server's environment passes on, so neither can
// reconfigure the libraries the handler loads.
std::vector<std::string> handler_environment() {
  const char* root = libqvp::DataRoot::kVariable;
  std::vector<std::string> env = {std::string(root) + "=" + getenv(root),
                                  "PATH=/usr/bin:/bin", "NCRCENV_IGNORE=1"};
  if (const char* tz = getenv("TZ")) env.push_back(std::string("TZ=") + tz);
  // Where the handler keeps its indexes of NcML documents.
  if (const char* cache = getenv("QVP_CACHE_DIR"))
    env.push_back(std::string("QVP_CACHE_DIR=") + cache);
  return env;
}

std::vector<char*> pointers(const std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (const std::string& s : strings)
    out.push_back(const_cast<char*>(s.c_str()));
  out.push_back(nullptr);
  return out;
}

}  // namespace

int main() {
  using namespace libqvp;
  try {
    const HandlerCall call =
        map_request([](const char* name) { return getenv(name); }, kVersion);
    // map_request has checked that the data root is set.
    const std::vector<std::string> env = handler_environment();
    execve(call.program.c_str(), pointers(call.argv).data(),
           pointers(env).data());
    write_refusal(stdout,
                  {500, "Internal Server Error", internal_error,
                   "The handler for this data set cannot be started"},
                  kVersion);
  } catch (const Refusal& r) {
    write_refusal(stdout, r, kVersion);
  }
  return 0;
}
