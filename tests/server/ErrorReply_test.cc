// The dispatcher links no libqvp library, so it keeps its own copies of two
// texts of the libraries: the error response (header block and Error text
// form, with its escaping) and the RFC 1123 date. These tests pin each copy
// byte for byte to the library's text, so that neither can drift.
#include "../../server/src/cgi/ErrorReply.h"

#include <libqvp/Error.h>
#include <libqvp/ErrorBlock.h>
#include <libqvp/cgi_util.h>

#include <ctime>
#include <limits>
#include <string>

#include "../../server/src/cgi/HttpDate.h"
#include "CaptureFile.h"
#include "DateText.h"
#include "gtest/gtest.h"

namespace libqvp {
namespace {

TEST(ErrorReplyTest, RefusalIsTheLibrarysErrorResponse) {
  static const struct {
    int status;
    const char* reason;
    int code;
    std::string message;
  } cases[] = {
      {404, "Not Found", no_such_data_set, "No such data set: \"a%20b.nc\""},
      {400, "Bad Request", usage_error, "Invalid data set path"},
      {500, "Internal Server Error", internal_error, ""},
      {400, "Bad Request", usage_error, "back\\slash \"quoted\" \\\" end\\"},
      {400, "Bad Request", usage_error, std::string("nul\0byte\n\tx", 11)},
      {404, "Not Found", 1004, "caf\xc3\xa9 \x01\x7f"},
  };
  const std::string version = "qvp_dispatch/9.0.0";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const std::string dispatcher = test::capture_file([&](FILE* out) {
      write_refusal(out, {c.status, c.reason, c.code, c.message}, version);
    });
    const std::string library =
        error_block(c.status, c.reason, Error(c.code, c.message), version);
    EXPECT_EQ(test::normalize_date(dispatcher), test::normalize_date(library));
    EXPECT_NE(dispatcher.find("\r\nDate: "), std::string::npos);
  }
}

TEST(ErrorReplyTest, DateIsTheLibrarysDate) {
  static const time_t cases[] = {
      0,
      784111777,          // Sun, 06 Nov 1994 08:49:37
      951782400,          // Tue, 29 Feb 2000 (a leap day)
      -1,                 // the second before the epoch
      253402300799,       // the last second of 9999
      253402300800,       // a five-digit year
      67768036191676799,  // the last second whose year an int holds
      std::numeric_limits<time_t>::max(),  // beyond the calendar
      std::numeric_limits<time_t>::min(),
  };
  for (time_t t : cases) {
    SCOPED_TRACE(t);
    EXPECT_EQ(http_date(t), rfc822_date(t));
  }
  EXPECT_EQ(http_date(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(http_date(67768036191676799),
            "Wed, 31 Dec 2147485547 23:59:59 GMT");
}

TEST(ErrorReplyTest, WrittenDatesReadBack) {
  for (time_t t : {time_t{0}, time_t{784111777}, time_t{951782400},
                   time_t{253402300799}}) {
    time_t read = -1;
    ASSERT_TRUE(parse_http_date(http_date(t), read)) << http_date(t);
    EXPECT_EQ(read, t);
  }
}

}  // namespace
}  // namespace libqvp
