// qvp_dispatch: the CGI program that the web server runs for every request.
// It maps the request to a handler's command line and replaces itself with
// the handler (no extra process); what it refuses it answers itself.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ErrorReply.h"
#include "RequestMap.h"

#ifndef QVP_VERSION
#define QVP_VERSION "0"
#endif

namespace {
constexpr const char* kVersion = "qvp_dispatch/" QVP_VERSION;
}

int main() {
  using namespace libqvp;
  try {
    const HandlerCall call =
        map_request([](const char* name) { return getenv(name); }, kVersion);
    std::vector<char*> argv;
    for (const std::string& a : call.argv)
      argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(call.program.c_str(), argv.data());
    write_refusal(stdout,
                  {500, "Internal Server Error", 1009,
                   "The handler for this data set cannot be started"},
                  kVersion);
  } catch (const Refusal& r) {
    write_refusal(stdout, r, kVersion);
  }
  return 0;
}
