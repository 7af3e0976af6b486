// The Date line replacement.
#include "DateText.h"

#include <regex>

namespace libqvp {
namespace test {

std::string normalize_date(const std::string& response) {
  static const std::regex date(
      "\r\nDate: [A-Z][a-z]{2}, [0-9]{2} [A-Z][a-z]{2} [0-9]{4} "
      "[0-9]{2}:[0-9]{2}:[0-9]{2} GMT\r\n");
  std::smatch m;
  if (!std::regex_search(response, m, date)) return response;
  return m.prefix().str() + "\r\nDate: " + kNormalDate + "\r\n" +
         m.suffix().str();
}

}  // namespace test
}  // namespace libqvp
