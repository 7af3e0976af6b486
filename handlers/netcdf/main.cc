// qvp_nc_handler: serves one request for a netCDF file, the dispatcher
// running it with the request on its command line; or, with --serve, runs
// as a resident pool of workers behind a web server's SCGI module.
#include <libqvp/Pool.h>

#include "NcHandler.h"

#ifdef QVP_UNDER_ASAN
// fontconfig (which cairo loads for the .png labels) keeps its configuration
// until the process ends, by design; the leak checker is told so.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
#endif

int main(int argc, char* argv[]) {
  if (libqvp::Pool::requested(argc, argv))
    return libqvp::Pool::main(argc, argv, libqvp::nc_handler_main);
  return libqvp::nc_handler_main(argc, argv);
}
