// RFC 822 dates, file modification times and the error-log line.
#include "../../server/src/cgi_dates.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cstdlib>
#include <regex>

#include "ServerTest.h"

namespace libqvp {
namespace {

TEST(CgiDatesTest, Rfc822DateAcrossCalendarBoundaries) {
  for (const auto& c : data_cases("rfc822_dates.txt"))
    EXPECT_EQ(rfc822_date(static_cast<time_t>(std::stoll(c[0]))), c[1]) << c[0];
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

TEST(CgiLogTest, TimeTextHasTheCtimeForm) {
  const char* old = getenv("TZ");
  const std::string saved = old ? old : "";
  for (const auto& c : data_cases("log_times.txt")) {
    setenv("TZ", c[0].c_str(), 1);
    tzset();
    EXPECT_EQ(log_time_text(static_cast<time_t>(std::stoll(c[1]))), c[2])
        << c[1];
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
