// Pieces of the request mapping (RequestMap.cc) that the browser's mapping
// (BrowseMap.cc) uses too. Private to qvp_cgimap.
#ifndef QVP_DISPATCH_REQUESTPARTS_H
#define QVP_DISPATCH_REQUESTPARTS_H

#include <string>
#include <vector>

#include "ErrorReply.h"
#include "RequestMap.h"

namespace libqvp {

// The 404 refusal for `name`: "No such data set: \"<name>\"".
Refusal not_found(const std::string& name);

// The text after the last '.' of the last segment of `path`; "" when none.
std::string extension_of(const std::string& path);

// The path of a handler program named in the handler table: `program` when
// absolute, otherwise in `handler_dir`.
std::string program_path(const std::string& handler_dir, const char* program);

// realpath(3) of `path`; "" when it fails.
std::string real_path(const std::string& path);

// "<scheme>://<host><script>/<rel>", percent-encoded. Throws Refusal 400
// for a bad Host.
std::string data_set_url(const EnvLookup& env, const std::string& rel);

// Throws Refusal 400 when `query` holds a control byte (0x00-0x1f, 0x7f),
// as it is or percent-encoded.
void check_query_form(const std::string& query);

// '%' as "%25", so that the handler's decoding of its data set argument
// gives back exactly this path.
std::string escape_percent(const std::string& path);

}  // namespace libqvp

#endif  // QVP_DISPATCH_REQUESTPARTS_H
