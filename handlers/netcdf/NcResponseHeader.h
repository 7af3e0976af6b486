// What the netCDF handler's responses state beyond the lines of the
// library's header writers, which stay as those write them.
#ifndef QVP_NC_NCRESPONSEHEADER_H
#define QVP_NC_NCRESPONSEHEADER_H

#include <libqvp/VORNFilter.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace libqvp {

// The header block of `response`, a whole text response (header block and
// body) that a library writer made, completed before it is sent: when it has
// a Content-Type (a 200), the type gains "; charset=utf-8" (netCDF text is
// UTF-8 by convention) and a last line "Content-Length: N" states the body's
// length. A 304's block is returned as it is; so is all of `response` when
// it holds no complete block. The body, unchanged, is what follows
// header_block_length(response). (error_block's responses say both
// already.)
std::string completed_text_header(std::string_view response);

// As completed_text_header, from the header block `header` of a response
// whose body is `body_length` bytes.
std::string completed_text_header(std::string header, uint64_t body_length);

// The header block of f's data response: set_mime_binary's block for
// `last_modified`, with "Content-Length: N" as its last line when `length`
// (the whole body's) is known.
std::string data_header(const VORNFilter& f, time_t last_modified,
                        std::optional<uint64_t> length);

// True when f's request is conditional and `last_modified` is not later
// than the request's time: the answer is then a 304.
bool unchanged_since_request(const VORNFilter& f, time_t last_modified);

}  // namespace libqvp

#endif  // QVP_NC_NCRESPONSEHEADER_H
