// The dispatcher links no libqvp library, so the request mapping keeps its
// own copies of texts of the libraries: the error response (header block and
// Error text form, with its escaping) and the percent escape. These tests pin
// each copy byte for byte to the library's text, so that none can drift. The
// date is the mapping's alone; the library's rfc822_date writes it.
#include <libqvp/ErrorBlock.h>
#include <libqvp/escaping.h>

#include "ErrorReply.h"
#include "HttpDate.h"
#include "RequestParts.h"
#include "ServerTest.h"

namespace libqvp {
namespace {

TEST(MappingTextsTest, RefusalIsTheLibrarysErrorResponse) {
  const std::string version = "qvp_dispatch/9.0.0";
  for (const auto& c : data_cases("refusals.txt")) {
    SCOPED_TRACE(c[3]);
    const int status = std::stoi(c[0]), code = std::stoi(c[2]);
    const std::string dispatcher = test::capture_file([&](FILE* out) {
      write_refusal(out, {status, c[1].c_str(), code, c[3]}, version);
    });
    const std::string library =
        error_block(status, c[1], Error(code, c[3]), version);
    EXPECT_EQ(test::normalize_date(dispatcher), test::normalize_date(library));
    EXPECT_NE(dispatcher.find("\r\nDate: "), std::string::npos);
  }
}

// Each date of the calendar table, and its reading back within the calendar.
TEST(MappingTextsTest, DateIsTheLibrarysDate) {
  for (const auto& c : data_cases("rfc822_dates.txt")) {
    const time_t t = std::stoll(c[0]);
    SCOPED_TRACE(t);
    EXPECT_EQ(http_date(t), c[1]);
    EXPECT_EQ(http_date(t), rfc822_date(t));
    time_t read = -1;
    if (t >= 0 && t <= 253402300799) {
      ASSERT_TRUE(parse_http_date(c[1], read)) << c[1];
      EXPECT_EQ(read, t);
    }
  }
}

// The dispatcher keeps more bytes plain in a URL path than the library in a
// name, but every byte that it escapes is escaped as the library does.
TEST(MappingTextsTest, PercentEscapeIsTheLibrarysEscape) {
  for (int i = 0; i < 256; ++i) {
    const std::string byte(1, static_cast<char>(i));
    const std::string url = url_path_encode(byte);
    SCOPED_TRACE(i);
    if (is_name_char(static_cast<unsigned char>(i))) {
      EXPECT_EQ(url, byte);
    } else if (url != byte) {
      EXPECT_EQ(url, id2www(byte));
    }
  }
  EXPECT_EQ(url_path_encode("a b%\xff"), id2www("a b%\xff"));
}

}  // namespace
}  // namespace libqvp
