// The pool's command line (defaults, accepted values and refusals), and a
// pool run in this test program with a stand-in entry function that
// reports the process state it finds and then disturbs it: whatever one
// request leaves behind must be gone in the next, and a request that
// crashes or throws costs nothing but its own reply.
#include <fcntl.h>
#include <libqvp/Pool.h>
#include <libqvp/RequestGuard.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <regex>
#include <stdexcept>

#include "ServerTest.h"

namespace libqvp {
namespace {

// Calls `f(argc, argv)` with "handler" and `args`.
template <class F>
auto call(F f, std::vector<std::string> args) {
  args.insert(args.begin(), "handler");
  Argv argv(args);
  return f(argv.argc(), argv.argv());
}

Pool::Options parse(const std::vector<std::string>& args) {
  return call(&Pool::parse, args);
}

TEST(PoolTest, ParsesEveryOption) {
  const Pool::Options o = parse({"--serve",         "unix:/run/x.sock",
                                 "--root",          "/data",
                                 "--workers",       "3",
                                 "--max-requests",  "100",
                                 "--timeout",       "60",
                                 "--config",        "/etc/q.conf",
                                 "--read-timeout",  "5",
                                 "--drain-timeout", "0",
                                 "--socket-mode",   "660",
                                 "--max-rss",       "300",
                                 "--metrics",       "127.0.0.1:9100"});
  EXPECT_EQ(o.address, "unix:/run/x.sock");
  EXPECT_EQ(o.root, "/data");
  EXPECT_EQ(o.workers, 3);
  EXPECT_EQ(o.max_requests, 100);
  EXPECT_EQ(o.timeout, 60);
  EXPECT_EQ(o.config, "/etc/q.conf");
  EXPECT_EQ(o.read_timeout, 5);
  EXPECT_EQ(o.drain_timeout, 0);
  EXPECT_EQ(o.socket_mode, 0660);
  EXPECT_EQ(o.max_rss, 300);
  EXPECT_EQ(o.metrics, "127.0.0.1:9100");
  EXPECT_EQ(parse({"--serve", "x:1", "--root", "/", "--max-rss", "0"}).max_rss,
            0);
}

TEST(PoolTest, RefusesBadCommandLines) {
  for (const auto& c : data_cases("refused_pool_options.txt")) {
    SCOPED_TRACE(testing::PrintToString(c));
    EXPECT_THROW(parse(c), std::invalid_argument);
  }
}

TEST(PoolTest, RequestedOnlyWithServe) {
  for (auto c : data_cases("pool_requested.txt")) {
    const bool requested = c[0] == "1";
    c.erase(c.begin());
    EXPECT_EQ(call(&Pool::requested, c), requested)
        << testing::PrintToString(c);
  }
}

extern "C" void on_usr1(int) {}

// Signals whose actions the stand-in reports, and their actions before the
// pool started (a sanitizer handles SIGSEGV and SIGBUS itself).
constexpr std::array<int, 4> kWatched = {SIGUSR1, SIGUSR2, SIGSEGV, SIGBUS};
struct sigaction g_initial[kWatched.size()];

// Writes "<state> | <argv[1..]>" and then, for the constraints "mess",
// "crash", "throw", "log" and "retire", changes everything it can, aborts,
// throws, writes to the error log or asks to be replaced. With a time limit
// (-t) it arms the library's alarm handler on stdout, as a handler built on
// VORNFilter does, and leaves it for the pool to release.
int stand_in(int argc, char* argv[]) {
  bool signals_as_found = true;
  for (size_t i = 0; i < kWatched.size(); ++i) {
    struct sigaction now {};
    sigaction(kWatched[i], nullptr, &now);
    signals_as_found =
        signals_as_found && now.sa_handler == g_initial[i].sa_handler;
  }
  const unsigned pending = alarm(0);
  printf("HTTP/1.0 200 OK\r\n\r\ncwd=%s alarm=%u signals=%s errno=%d pid=%d |",
         working_directory().c_str(), pending,
         signals_as_found ? "as-found" : "changed", errno,
         static_cast<int>(getpid()));
  std::string query;
  for (int i = 1; i < argc; ++i) {
    printf(" %s", argv[i]);
    if (strcmp(argv[i - 1], "-e") == 0) query = argv[i];
  }
  if (query == "crash") abort();
  if (query == "throw") throw std::runtime_error("thrown by the handler");
  if (query == "log") ErrMsgT("logged by the handler");
  if (query == "retire") Pool::retire_after_request();
  const VORNFilter filter(argc, argv);
  if (filter.get_timeout() > 0) filter.establish_timeout(stdout);
  if (query == "guarded") {
    // Set before the guard, and while the guard holds the same signals.
    signal(SIGBUS, on_usr1);
    const RequestGuard guard(60, "v", "x", "/");
    signal(SIGSEGV, on_usr1);
    signal(SIGUSR1, on_usr1);
  }
  if (query == "mess") {
    if (chdir("/") != 0) return 1;
    signal(SIGUSR1, on_usr1);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGUSR2, &ignore, nullptr);
    alarm(1000);
    errno = EIO;
  }
  return fflush(stdout) == 0 ? 0 : 1;
}

class PoolWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d_dir.write("data/a.nc", "");
    Pool::Options o;
    o.address = "unix:" + (d_dir / "pool.sock");
    o.root = d_dir / "data";
    o.workers = 1;
    o.timeout = d_timeout;
    o.program = "qvp_nc_handler";
    if (d_metrics) o.metrics = "127.0.0.1:0";
    for (size_t i = 0; i < kWatched.size(); ++i)
      sigaction(kWatched[i], nullptr, &g_initial[i]);
    d_master = fork();
    ASSERT_GE(d_master, 0);
    if (d_master == 0) {
      if (!freopen((d_dir / "pool.log").c_str(), "w", stderr)) _exit(3);
      _exit(Pool::run(o, stand_in));
    }
    for (int i = 0; i < 500 && !logged("serving"); ++i) usleep(10000);
  }

  void TearDown() override {
    // Never kill(-1, ...): that would signal every process of the user.
    if (d_master <= 0) return;
    kill(d_master, SIGTERM);
    int status = 0;
    waitpid(d_master, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << log();
  }

  std::string log() const {
    return read_all(open((d_dir / "pool.log").c_str(), O_RDONLY));
  }
  bool logged(const char* text) const {
    return log().find(text) != std::string::npos;
  }

  // The whole reply to a request for /a.nc.das?<query>.
  std::string request(const std::string& query) const {
    std::string payload;
    for (const char* kv :
         {"CONTENT_LENGTH", "0", "SCGI", "1", "PATH_INFO", "/a.nc.das",
          "SCRIPT_NAME", "/qvp", "HTTP_HOST", "h", "QUERY_STRING"})
      payload.append(kv).push_back('\0');
    payload.append(query).push_back('\0');
    const std::string bytes =
        std::to_string(payload.size()) + ":" + payload + ",";
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    const std::string path = d_dir / "pool.sock";
    strncpy(sa.sun_path, path.c_str(), sizeof sa.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
        write(fd, bytes.data(), bytes.size()) ==
            static_cast<ssize_t>(bytes.size()))
      return read_all(fd);
    close(fd);
    return "";
  }

  // What the tests of the same names check.
  void expect_nothing_carried() {
    const std::string clean =
        "HTTP/1.0 200 OK\r\n\r\ncwd=" + working_directory() +
        " alarm=0 signals=as-found errno=0 pid=";
    const std::string first = request("mess");
    EXPECT_EQ(first.substr(0, clean.size()), clean);
    EXPECT_NE(first.find(" -o das -v qvp_dispatch/"), std::string::npos);
    EXPECT_NE(first.find(" -u http://h/qvp/a.nc -e mess "), std::string::npos);
    const std::string second = request("x");
    EXPECT_EQ(second.substr(0, clean.size()), clean) << second;
    EXPECT_EQ(second.find("mess"), std::string::npos);
    for (int i = 0; i < 2; ++i) {
      request("guarded");
      const std::string next = request("x");
      EXPECT_EQ(next.substr(0, clean.size()), clean) << next;
    }
  }

  void expect_only_that_reply_lost() {
    for (const char* query : {"crash", "throw"}) {
      request(query);
      EXPECT_EQ(request("x").rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << query;
    }
    EXPECT_TRUE(logged("killed by signal 6")) << log();
    EXPECT_TRUE(logged("thrown by the handler")) << log();
  }

  TempDir d_dir;
  pid_t d_master = -1;
  int d_timeout = 0;       // the pool's --timeout
  bool d_metrics = false;  // with --metrics: stdout is counted
};

class PoolWorkerMetricsTest : public PoolWorkerTest {
 protected:
  PoolWorkerMetricsTest() { d_metrics = true; }
};

// The pid that a reply of stand_in() names, or "" when there is none.
std::string replier(const std::string& reply) {
  static const std::regex pid(R"(pid=(\d+) \|)");
  std::smatch m;
  return std::regex_search(reply, m, pid) ? m[1].str() : "";
}

TEST_F(PoolWorkerTest, NothingOfARequestReachesTheNext) {
  expect_nothing_carried();
}

TEST_F(PoolWorkerTest, ACrashOrAnExceptionCostsOnlyThatReply) {
  expect_only_that_reply_lost();
}

// The same with --metrics, where stdout is the counted stream.
TEST_F(PoolWorkerMetricsTest, NothingOfARequestReachesTheNext) {
  expect_nothing_carried();
  EXPECT_TRUE(logged("metrics at http://127.0.0.1:0/metrics")) << log();
}

TEST_F(PoolWorkerMetricsTest, ACrashOrAnExceptionCostsOnlyThatReply) {
  expect_only_that_reply_lost();
}

// The handler's error log takes the pool's line form, naming the worker; a
// worker that asks to retire answers first and is replaced.
TEST_F(PoolWorkerTest, HandlerLinesNameTheWorkerAndAWorkerMayRetire) {
  request("log");
  const std::regex line(
      R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] qvp pool\[)" +
      std::to_string(d_master) +
      R"(\] worker \d+: QVP server error: logged by the handler\n)");
  EXPECT_TRUE(std::regex_search(log(), line)) << log();
  EXPECT_EQ(request("retire").rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
  EXPECT_EQ(request("x").rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
  EXPECT_TRUE(logged("retires after request 2")) << log();
  EXPECT_TRUE(logged("recycled")) << log();
}

class PoolWorkerTimeLimitTest : public PoolWorkerTest {
 protected:
  PoolWorkerTimeLimitTest() { d_timeout = 100; }

  // Each request leaves an alarm handler that owns stdout. Released after
  // the request (stdout kept open), it costs the worker nothing: one worker
  // answers them all, far past the thousands of handlers that keeping each
  // would pile up, and never retires for them.
  void expect_alarm_handlers_released() {
    constexpr int kRequests = 6000;
    const std::string first = request("x");
    ASSERT_NE(first.find(" -t 100 "), std::string::npos) << first;
    const std::string worker = replier(first);
    ASSERT_FALSE(worker.empty()) << first;
    int answered = 1;
    for (int i = 1; i < kRequests; ++i) {
      const std::string reply = request("x");
      if (reply.rfind("HTTP/1.0 200 OK\r\n", 0) != 0 ||
          replier(reply) != worker ||
          reply.find(" alarm=0 ") == std::string::npos) {
        ADD_FAILURE() << "request " << i << ": " << reply;
        break;
      }
      ++answered;
    }
    EXPECT_EQ(answered, kRequests);
    EXPECT_FALSE(logged("recycled")) << log();
  }
};

class PoolWorkerMetricsTimeLimitTest : public PoolWorkerTimeLimitTest {
 protected:
  PoolWorkerMetricsTimeLimitTest() { d_metrics = true; }
};

TEST_F(PoolWorkerTimeLimitTest, AnAlarmHandlerOnStdoutIsReleased) {
  expect_alarm_handlers_released();
}

// With --metrics the handler is built on the counted stream, which must be
// given up too, and stay open for the next request.
TEST_F(PoolWorkerMetricsTimeLimitTest, AnAlarmHandlerOnStdoutIsReleased) {
  expect_alarm_handlers_released();
}

}  // namespace
}  // namespace libqvp
