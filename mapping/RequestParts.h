// The pieces that both the data set mapping (RequestMap.cc) and the browser's
// mapping (BrowseMap.cc) build a handler's command line from: the refusals,
// the path's parts, the URL and the query's check. Private to qvp_mapping;
// it depends on neither of the two mappings.
#ifndef QVP_MAPPING_REQUESTPARTS_H
#define QVP_MAPPING_REQUESTPARTS_H

#include <string>

#include "EnvLookup.h"
#include "ErrorReply.h"

namespace libqvp {

// The 400 refusal with `message`.
Refusal bad_request(std::string message);

// The 404 refusal for `name`: "No such data set: \"<name>\"".
Refusal not_found(const std::string& name);

// The text after the last '.' of the last segment of `path`; "" when none.
std::string extension_of(const std::string& path);

// The path of a handler program named in the handler table: `program` when
// absolute, otherwise in `handler_dir`.
std::string program_path(const std::string& handler_dir, const char* program);

// "<scheme>://<host><script>/<rel>", percent-encoded. Throws Refusal 400
// for a bad Host.
std::string data_set_url(const EnvLookup& env, const std::string& rel);

// Throws Refusal 400 when `query` holds a control byte (0x00-0x1f, 0x7f),
// as it is or percent-encoded.
void check_query_form(const std::string& query);

// '%' as "%25", so that the handler's decoding of its data set argument
// gives back exactly this path.
std::string escape_percent(const std::string& path);

// `text` with every byte outside A-Z a-z 0-9 and -._~/!$&'()*+,;=:@ written
// as "%XX" (upper-case hex).
std::string url_path_encode(const std::string& text);

}  // namespace libqvp

#endif  // QVP_MAPPING_REQUESTPARTS_H
