#include "DownloadName.h"

#include <cstdio>

namespace libqvp {
namespace {

bool is_plain(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
}

// `s` cut to at most `n` bytes, not inside a UTF-8 sequence.
std::string cut(const std::string& s, size_t n) {
  if (s.size() <= n) return s;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

}  // namespace

std::string download_file_name(const std::string& dataset,
                               const std::vector<std::string>& selected,
                               const std::string& extension) {
  const size_t slash = dataset.rfind('/');
  std::string stem =
      slash == std::string::npos ? dataset : dataset.substr(slash + 1);
  const size_t dot = stem.rfind('.');
  if (dot != std::string::npos && dot > 0) stem.resize(dot);
  for (size_t i = 0; i < selected.size(); ++i)
    stem += (i == 0 ? "_" : "-") + selected[i];
  return cut(stem, kMaxStem) + "." + extension;
}

std::string content_disposition(const std::string& file_name) {
  std::string ascii, encoded;
  for (unsigned char c : file_name) {
    ascii += is_plain(c) ? static_cast<char>(c) : '_';
    if (is_plain(c)) {
      encoded += static_cast<char>(c);
    } else {
      char hex[4];
      snprintf(hex, sizeof hex, "%%%02X", c);
      encoded += hex;
    }
  }
  return "attachment; filename=\"" + ascii + "\"; filename*=UTF-8''" + encoded;
}

}  // namespace libqvp
