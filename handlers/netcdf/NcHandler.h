// The netCDF handler's entry function, what qvp_nc_handler's main runs.
#ifndef QVP_NC_NCHANDLER_H
#define QVP_NC_NCHANDLER_H

namespace libqvp {

// Serves the one request that `argv` names (the request filter's command
// line): the response goes to stdout, which is flushed before the return.
// Returns 0 when a response (possibly an error response) was written, 1 when
// a data response was cut short after its header went out (logged on
// stderr) or stdout could not be flushed. Throws nothing.
int nc_handler_main(int argc, char* argv[]);

}  // namespace libqvp

#endif  // QVP_NC_NCHANDLER_H
