// RFC 822 dates, file modification times and the error-log line.
#include "../../server/src/cgi_dates.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <climits>
#include <cstdlib>
#include <regex>

#include "ServerTest.h"

namespace libqvp {
namespace {

TEST(CgiDatesTest, Rfc822DateAcrossCalendarBoundaries) {
  static const struct {
    long long t;
    const char* date;
  } cases[] = {
      {0, "Thu, 01 Jan 1970 00:00:00 GMT"},
      {1, "Thu, 01 Jan 1970 00:00:01 GMT"},
      {86399, "Thu, 01 Jan 1970 23:59:59 GMT"},
      {86400, "Fri, 02 Jan 1970 00:00:00 GMT"},
      {-1, "Wed, 31 Dec 1969 23:59:59 GMT"},
      {31535999, "Thu, 31 Dec 1970 23:59:59 GMT"},
      {31536000, "Fri, 01 Jan 1971 00:00:00 GMT"},
      {946684799, "Fri, 31 Dec 1999 23:59:59 GMT"},
      {946684800, "Sat, 01 Jan 2000 00:00:00 GMT"},
      // 2000 is a leap year, 1900 and 2100 are not.
      {951782399, "Mon, 28 Feb 2000 23:59:59 GMT"},
      {951782400, "Tue, 29 Feb 2000 00:00:00 GMT"},
      {951868800, "Wed, 01 Mar 2000 00:00:00 GMT"},
      {-2203891201, "Wed, 28 Feb 1900 23:59:59 GMT"},
      {-2203891200, "Thu, 01 Mar 1900 00:00:00 GMT"},
      {4107542399, "Sun, 28 Feb 2100 23:59:59 GMT"},
      {4107542400, "Mon, 01 Mar 2100 00:00:00 GMT"},
      {1709209845, "Thu, 29 Feb 2024 12:30:45 GMT"},
      {2147483647, "Tue, 19 Jan 2038 03:14:07 GMT"},
      {2147483648, "Tue, 19 Jan 2038 03:14:08 GMT"},
      {253402300799, "Fri, 31 Dec 9999 23:59:59 GMT"},
      {253402300800, "Sat, 01 Jan 10000 00:00:00 GMT"},
      {-30610224000, "Wed, 01 Jan 1000 00:00:00 GMT"},
      {-30610224001, "Tue, 31 Dec  999 23:59:59 GMT"},
      // Beyond the calendar: the date of time 0, never garbage.
      {LLONG_MAX, "Thu, 01 Jan 1970 00:00:00 GMT"},
      {LLONG_MIN, "Thu, 01 Jan 1970 00:00:00 GMT"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(rfc822_date(static_cast<time_t>(c.t)), c.date) << c.t;
}

// A regular file (or a link to one) gives its time; so does a socket, whose
// type bits share the regular file's bit. Anything else gives the current
// time.
TEST(LastModifiedTimeTest, FileTimesOrNow) {
  TempDir d;
  const std::string file = d.write("sst.nc", "x"), link = d / "link.nc";
  for (time_t t : {time_t{1}, time_t{1234567890}, time_t{4107542400}}) {
    TempDir::set_mtime(file, t);
    EXPECT_EQ(last_modified_time(file), t) << t;
  }
  ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
  EXPECT_EQ(last_modified_time(link), time_t{4107542400});
  const std::string path = d / "sock";
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  struct sockaddr_un addr {};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof addr.sun_path);
  path.copy(addr.sun_path, path.size());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  TempDir::set_mtime(path, 777);
  EXPECT_EQ(last_modified_time(path), time_t{777});
  close(fd);

  ASSERT_EQ(mkfifo((d / "fifo").c_str(), 0600), 0);
  TempDir::set_mtime(d / "fifo", 1000);
  TempDir::set_mtime(d.mkdir("sub"), 1000);
  for (const std::string& name :
       {d / "sub", d / "missing.nc", d / "missing/deeper.nc", std::string(),
        d / "fifo", std::string("/dev/null"), file + "/below"}) {
    const time_t before = time(nullptr);
    const time_t t = last_modified_time(name);
    EXPECT_TRUE(t >= before && t <= time(nullptr)) << name << ": " << t;
  }
}

// The ctime form of the log's time stamp, in the local zone; -1 (the failed
// clock) and a time local time cannot hold give a fixed text.
TEST(CgiLogTest, TimeTextHasTheCtimeForm) {
  static const struct {
    const char* tz;
    long long t;
    const char* text;
  } cases[] = {
      {"UTC", 0, "Thu Jan  1 00:00:00 1970"},
      {"UTC", 951782400, "Tue Feb 29 00:00:00 2000"},
      {"UTC", 1709209845, "Thu Feb 29 12:30:45 2024"},
      {"XST-3", 0, "Thu Jan  1 03:00:00 1970"},  // three hours east of UTC
      {"UTC", -1, "time() error           "},
      {"UTC", LLONG_MAX, "time() error           "},
      // Five-digit years are cut to 24 characters, as ctime's text would be.
      {"UTC", 253402300800, "Sat Jan  1 00:00:00 1000"},
  };
  const char* old = getenv("TZ");
  const std::string saved = old ? old : "";
  for (const auto& c : cases) {
    setenv("TZ", c.tz, 1);
    tzset();
    EXPECT_EQ(log_time_text(static_cast<time_t>(c.t)), c.text) << c.t;
  }
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST(CgiLogTest, ErrMsgTWritesOneStampedEntry) {
  static const char* const messages[] = {"", "no such file",
                                         "line one\n    line two"};
  const std::regex stamp(
      R"(\[[A-Z][a-z]{2} [A-Z][a-z]{2} [ 123]\d \d\d:\d\d:\d\d \d{4}\] )"
      R"(QVP server error: )");
  for (const char* message : messages) {
    CaptureCerr capture;
    ErrMsgT(message);
    const std::string line = capture.text();
    ASSERT_GE(line.size(), 45u) << message;
    EXPECT_TRUE(std::regex_match(line.substr(0, 45), stamp)) << line;
    EXPECT_EQ(line.substr(45), std::string(message) + "\n") << message;
  }
}

}  // namespace
}  // namespace libqvp
