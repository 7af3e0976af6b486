// qvp_nc_handler: serves one request for a netCDF file. The dispatcher runs
// it with the request on its command line.
#include "NcHandler.h"

int main(int argc, char* argv[]) { return libqvp::nc_handler_main(argc, argv); }
