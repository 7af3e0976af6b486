// Edits of a whole response (header block and body, as one string) that a
// header writer began: for a writer of a response that states more than the
// library's header writers do. The writers' own lines stay as they are; new
// lines go after them.
#ifndef LIBQVP_HEADER_EDIT_H
#define LIBQVP_HEADER_EDIT_H

#include <cstdio>
#include <string>
#include <string_view>

namespace libqvp {

// The length of the header block at the start of `response`, its empty
// line included; std::string::npos when there is no complete block.
size_t header_block_length(std::string_view response);

// Inserts `line` (without its CR LF) as the last line of the header block
// at the start of `response`, before the empty line. Throws
// Error(internal_error) when there is no complete block.
void add_header_line(std::string& response, std::string_view line);

// The rest of the first header line that begins with `label`; empty when
// there is no such line.
std::string header_value(std::string_view response, std::string_view label);

// Replaces the rest of the first header line that begins with `label`
// (e.g. "Content-Type: ") with `value`. Returns false, changing nothing, when
// the block has no such line (or there is no complete block).
bool set_header_value(std::string& response, std::string_view label,
                      std::string_view value);

// Writes `bytes`, a header block made and edited as above (and possibly
// what follows it), to `out`, the response: from then on the response has
// begun (RequestGuard::output_started()). Nothing is flushed. Throws
// Error(write_error) as write_all does.
void begin_response(FILE* out, std::string_view bytes);

}  // namespace libqvp

#endif  // LIBQVP_HEADER_EDIT_H
