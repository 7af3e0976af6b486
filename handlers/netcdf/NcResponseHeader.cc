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

std::string completed_text_header(std::string_view response) {
  const size_t length = header_block_length(response);
  if (length == std::string_view::npos) return std::string(response);
  return completed_text_header(std::string(response.substr(0, length)),
                               response.size() - length);
}

std::string completed_text_header(std::string header, uint64_t body_length) {
  const std::string type = header_value(header, kContentType);
  if (type.empty()) return header;
  set_header_value(header, kContentType, type + "; charset=utf-8");
  add_header_line(header, length_line(body_length));
  return header;
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
