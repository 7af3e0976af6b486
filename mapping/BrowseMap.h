// The requests of a person with a browser: a directory's catalogue, a data
// set's page (.html) and its values as CSV (.csv). The handler is told which
// of these is wanted by a first argument of its own, before the request
// filter's options:
//   --view=html | --view=csv | --view=catalog
// (docs/handlers.md describes the command lines).
#ifndef QVP_MAPPING_BROWSEMAP_H
#define QVP_MAPPING_BROWSEMAP_H

#include <string>
#include <vector>

#include "EnvLookup.h"
#include "HandlerCall.h"
#include "HandlerTable.h"

namespace libqvp {

// The response names of the browser's suffixes in the suffix table: the
// page, the CSV, and the downloads (a netCDF file of the classic family, a
// netCDF-4 file, a PNG image).
constexpr const char* kViewPage = "html";
constexpr const char* kViewCsv = "csv";
constexpr const char* kViewNetcdf = "nc";
constexpr const char* kViewNetcdf4 = "nc4";
constexpr const char* kViewImage = "png";

// Appends the handler's arguments that ask for `response`: "-o <response>",
// or "--view=<response>" for the browser's responses above.
void append_response(std::vector<std::string>& argv, const char* response);

// Maps a directory request (`path` ends with '/') to the handler's catalogue:
//   <handler> --view=catalog --extensions=nc,nc4 -v <version>
//       -u <directory URL, ending with '/'> [-e <QUERY_STRING>] <real path>
// The handler is the first one of the extension table. Throws Refusal 404
// when `path` is no directory inside the data root (links out of the root
// count as absent), 400 for a query over 1 KiB or a bad Host.
HandlerCall map_catalogue(const EnvLookup& env, const std::string& version,
                          const std::string& root,
                          const std::string& handler_dir,
                          const std::string& path, const HandlerTable& table);

// For a path without a response suffix: throws a 301 Refusal whose location
// is the page of a data set ("/sst.nc" -> ".../sst.nc.html") or the
// directory with its slash ("/sub" -> ".../sub/") when `path` names a
// servable data set or a directory inside the root; returns otherwise.
void throw_browser_redirect(const EnvLookup& env, const std::string& root,
                            const std::string& path, const HandlerTable& table);

}  // namespace libqvp

#endif  // QVP_MAPPING_BROWSEMAP_H
