#include <libqvp/Error.h>
#include <libqvp/RequestGuard.h>
#include <libqvp/header_edit.h>
#include <libqvp/write_all.h>

namespace libqvp {
namespace {

constexpr std::string_view kCRLF = "\r\n";
constexpr std::string_view kBlockEnd = "\r\n\r\n";

}  // namespace

size_t header_block_length(std::string_view response) {
  const size_t end = response.find(kBlockEnd);
  return end == std::string_view::npos ? end : end + kBlockEnd.size();
}

void add_header_line(std::string& response, std::string_view line) {
  const size_t length = header_block_length(response);
  if (length == std::string::npos)
    throw Error(internal_error, "A response has no complete header block");
  // Before the empty line: after the CR LF that ends the last header line.
  const size_t at = length - kCRLF.size();
  response.insert(at, kCRLF);
  response.insert(at, line);
}

namespace {

// The offset and length of the value of the first header line that begins
// with `label`; false when there is none.
bool find_value(std::string_view response, std::string_view label, size_t& from,
                size_t& length) {
  const size_t block = header_block_length(response);
  if (block == std::string_view::npos) return false;
  for (size_t begin = 0; begin + kCRLF.size() < block;) {
    const size_t end = response.find(kCRLF, begin);
    if (response.substr(begin, label.size()) == label) {
      from = begin + label.size();
      length = end - from;
      return true;
    }
    begin = end + kCRLF.size();
  }
  return false;
}

}  // namespace

std::string header_value(std::string_view response, std::string_view label) {
  size_t from = 0, length = 0;
  if (!find_value(response, label, from, length)) return "";
  return std::string(response.substr(from, length));
}

bool set_header_value(std::string& response, std::string_view label,
                      std::string_view value) {
  size_t from = 0, length = 0;
  if (!find_value(response, label, from, length)) return false;
  response.replace(from, length, value);
  return true;
}

void begin_response(FILE* out, std::string_view bytes) {
  RequestGuard::note_output_started();
  write_all(out, bytes);
}

}  // namespace libqvp
