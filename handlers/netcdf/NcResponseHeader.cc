#include "NcResponseHeader.h"

#include <libqvp/cgi_util.h>
#include <libqvp/header_edit.h>

#include <sstream>

namespace libqvp {
namespace {

constexpr const char* kContentType = "Content-Type: ";

std::string length_line(uint64_t length) {
  return "Content-Length: " + std::to_string(length);
}

}  // namespace

void complete_text_response(std::string& response) {
  const std::string type = header_value(response, kContentType);
  if (type.empty()) return;
  set_header_value(response, kContentType, type + "; charset=utf-8");
  const size_t header = header_block_length(response);
  add_header_line(response, length_line(response.size() - header));
}

std::string data_header(const VORNFilter& f, time_t last_modified,
                        std::optional<uint64_t> length) {
  std::ostringstream out;
  set_mime_binary(out, vorn_data, f.get_cgi_version(), x_plain, last_modified);
  std::string header = out.str();
  if (length) add_header_line(header, length_line(*length));
  return header;
}

bool unchanged_since_request(const VORNFilter& f, time_t last_modified) {
  return f.is_conditional() &&
         last_modified <= f.get_request_if_modified_since();
}

}  // namespace libqvp
