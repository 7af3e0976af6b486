// Maps a CGI request for /<path>.<suffix>?<constraint> under the data root to
// the command line of the handler that serves the data set.
#ifndef QVP_MAPPING_REQUESTMAP_H
#define QVP_MAPPING_REQUESTMAP_H

#include <string>

#include "EnvLookup.h"
#include "ErrorReply.h"
#include "HandlerCall.h"
#include "HandlerTable.h"

namespace libqvp {

// The CGI variables a request may supply: all that the mapping reads of a
// request, and nothing it does not read (map_request sees no other request
// variable, whatever `env` holds). The dispatcher takes them from its
// environment, the pool from the SCGI headers.
bool is_request_variable(const char* name);

// The configuration variables, which never come from a request: QVP_DATA_ROOT,
// QVP_HANDLER_DIR, QVP_TIMEOUT and QVP_CONFIG.
bool is_configuration_variable(const char* name);

// Builds the handler's command line from the environment, with the handler
// table that QVP_CONFIG names (HandlerTable::load), or the built-in one when
// QVP_CONFIG is unset or empty:
//   -o das|dds|ddx|DataDDS|Version   the table's response for the suffix
//                                    (built in: das, dds, ddx, vorn, ver)
//   -v <version>                     `version`
//   -u <scheme>://<host><script><path>  the data set URL, percent-encoded
//   -e <QUERY_STRING>                when not empty, still encoded
//   -l <seconds>                     from If-Modified-Since, when it parses
//   -t <seconds>                     from QVP_TIMEOUT, when a positive number
//   <data set>                       its real path, '%' written as "%25"
// The suffixes html, csv, nc, nc4 and png ask for the data set's page, CSV
// and downloads with "--view=html|csv|nc|nc4|png" in place of -o. A suffix
// that is also an extension ("/sst.nc") names the bare data set "sst" when
// it exists and the 301 to the page of "sst.nc" otherwise (below); a path
// ending in '/' maps to the
// catalogue of that directory, and a bare data set or a directory without
// its slash is a 301 Refusal to its page or directory (BrowseMap.h).
// Configuration: QVP_DATA_ROOT (the data root), QVP_HANDLER_DIR (where the
// handler programs named by a file name are), QVP_TIMEOUT (optional),
// QVP_CONFIG (optional). The program is the table's absolute path, or the
// file name in QVP_HANDLER_DIR. Throws Refusal: 400 for a malformed path
// ('.' or '..' segments, control bytes), a query holding a control byte
// (raw or percent-encoded), an unknown suffix or a bad Host;
// 404 for an unknown extension, a missing data set or one whose real path
// leaves the data root; 500 for a missing configuration or a handler table
// that cannot be read or parsed (the reason, with the file and line, is
// written as one line to stderr, and the refusal names no path).
HandlerCall map_request(const EnvLookup& env, const std::string& version);

// As above with `table` instead of the one QVP_CONFIG names (QVP_CONFIG is
// not read): for a resident server that loads its table once at start-up
// with HandlerTable::load and maps many requests with it.
HandlerCall map_request(const EnvLookup& env, const std::string& version,
                        const HandlerTable& table);

}  // namespace libqvp

#endif  // QVP_MAPPING_REQUESTMAP_H
