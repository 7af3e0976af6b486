// The pool's metrics: the exposition text, the counts that workers in other
// processes make in the shared mapping, the status and bytes of a counted
// response, and the endpoint's answers, to well-formed, odd and stalled
// scrapers alike.
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <fstream>
#include <iostream>
#include <iterator>

#include "../../server/src/pool/CountedOutput.h"
#include "../../server/src/pool/MetricsEndpoint.h"
#include "../../server/src/pool/MetricsSnapshot.h"
#include "../../server/src/pool/SharedCounters.h"
#include "ServerTest.h"

namespace libqvp {
namespace {

constexpr uint64_t kMs = 1000000;  // nanoseconds

TEST(PoolMetricsTest, ExpositionText) {
  MetricsSnapshot m;
  m.requests[{"das", "200"}] = 3;
  m.requests[{"error", "404"}] = 1;
  m.requests[{"a\"b\\c\nd", "none"}] = 1;
  auto& das = m.durations["das"];
  das.buckets[0] = 1;
  das.buckets[3] = 2;
  das.buckets[kDurationBuckets - 1] = 1;
  das.nanoseconds = 61012 * kMs + 500000;
  m.bytes["das"] = 1840;
  m.caches["aggregation_index"] = {2, 1};
  m.restarts = {{"crash", 1}, {"reload", 2}};
  m.workers = 4;
  EXPECT_EQ(m.text(), data_file("metrics_exposition.txt"));
}

TEST(PoolMetricsTest, ResponseStatusFromItsFirstBytes) {
  for (const auto& c : data_cases("response_statuses.txt")) {
    SCOPED_TRACE(c[0]);
    EXPECT_EQ(CountedOutput::response_status(c[0]), std::stoi(c[1]));
  }
}

// Workers in three child processes count into their slots; the parent sees
// the sums. Slot 1 is shared by a worker and the one that replaced it.
TEST(PoolMetricsTest, CountsOfWorkersInOtherProcessesAreSummed) {
  SharedCounters counters(2, {"aggregation_index"});
  const std::vector<std::function<void()>> workers = {
      [&] {
        counters.count_request(0, "das", 200, 100, 2 * kMs);
        counters.count_request(0, "das", 304, 50, 20 * kMs);
        counters.count_cache(0, "aggregation_index", true);
      },
      [&] {
        counters.count_request(1, "das", 200, 100, 3 * kMs);
        counters.count_request(1, "error", SharedCounters::kNoStatus, 0, 0);
      },
      [&] {
        counters.count_request(1, "DataDDS", 200, 5000, 120 * 1000 * kMs);
        counters.count_cache(1, "aggregation_index", false);
        counters.count_cache(1, "chunks", true);
        counters.count_request(2, "das", 200, 1, 1);  // no such slot
      }};
  for (const auto& work : workers) {
    const pid_t pid = fork();
    if (pid == 0) {
      work();
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
  }
  const MetricsSnapshot m = counters.snapshot();
  using Key = std::pair<std::string, std::string>;
  EXPECT_EQ(m.requests, (std::map<Key, uint64_t>{{{"das", "200"}, 2},
                                                 {{"das", "304"}, 1},
                                                 {{"error", "none"}, 1},
                                                 {{"DataDDS", "200"}, 1}}));
  EXPECT_EQ(m.bytes, (std::map<std::string, uint64_t>{
                         {"das", 250}, {"error", 0}, {"DataDDS", 5000}}));
  const auto& das = m.durations.at("das");
  EXPECT_EQ(das.nanoseconds, 25 * kMs);
  // 2, 3 and 20 ms fall in the buckets up to 2.5, 5 and 25 ms.
  EXPECT_EQ(das.buckets[2], 1U);
  EXPECT_EQ(das.buckets[3], 1U);
  EXPECT_EQ(das.buckets[5], 1U);
  EXPECT_EQ(m.durations.at("DataDDS").buckets[kDurationBuckets - 1], 1U);
  EXPECT_EQ(m.durations.at("error").buckets[0], 1U);
  EXPECT_EQ(m.caches.at("aggregation_index").hits, 1U);
  EXPECT_EQ(m.caches.at("aggregation_index").misses, 1U);
  EXPECT_EQ(m.caches.at("chunks").hits, 1U);
}

// Label values past the table's room count as "other"; a long one is cut
// and still counts as one value.
TEST(PoolMetricsTest, LabelValuesBeyondTheTablesCountAsOther) {
  SharedCounters counters(1, {});
  const std::string long_name(100, 'x');
  for (int i = 0; i < 2; ++i) counters.count_request(0, long_name, 200, 0, 0);
  for (int status = 201; status < 201 + int(SharedCounters::kStatuses);
       ++status)
    counters.count_request(0, "s", status, 0, 0);
  for (size_t i = 0; i < SharedCounters::kResponses + 3; ++i)
    counters.count_request(0, "r" + std::to_string(i), 200, 0, 0);
  const MetricsSnapshot m = counters.snapshot();
  const std::string cut = long_name.substr(0, SharedCounters::kNameBytes - 1);
  EXPECT_EQ(m.requests.at({cut, "200"}), 2U);
  // The cut name, s and r0..r20 took the 23 free entries; r21..r26 did not
  // fit.
  EXPECT_EQ(m.requests.count({"r20", "200"}), 1U);
  EXPECT_EQ(m.requests.count({"r21", "200"}), 0U);
  EXPECT_EQ(m.requests.at({"other", "200"}), 6U);
  uint64_t other_status = 0;
  for (const auto& [key, n] : m.requests)
    if (key.second == "other") other_status += n;
  // 200 took one of the 23 status entries: 22 of the 24 statuses fit.
  EXPECT_EQ(other_status, 2U);
}

// Everything written through stdout and std::cout while counting, in the
// order written, reaches fd 1 and is counted; stdout and std::cout are
// given back after.
TEST(PoolMetricsTest, CountedOutputKeepsOrderAndCountsEveryByte) {
  TempDir dir;
  const std::string path = dir.path() + "/out";
  const int file = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
  ASSERT_GE(file, 0);
  fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  dup2(file, STDOUT_FILENO);
  FILE* const real_stdout = stdout;
  CountedOutput out(16);  // a small buffer: several writes
  out.begin();
  printf("HTTP/1.0 404 Not Found\r\n");
  std::cout << "X: " << 42 << "\r\n";
  fwrite("\r\n", 1, 2, stdout);
  const std::string big(1000, 'b');
  std::cout << big;
  fputs("end", stdout);
  out.end();
  dup2(saved, STDOUT_FILENO);
  close(saved);
  close(file);
  EXPECT_EQ(stdout, real_stdout);
  EXPECT_EQ(out.status(), 404);
  const std::string want =
      "HTTP/1.0 404 Not Found\r\nX: 42\r\n\r\n" + big + "end";
  EXPECT_EQ(out.bytes(), want.size());
  std::ifstream written(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), want);
}

// The body is made only for a scrape, and a HEAD gets its length alone.
TEST(PoolMetricsTest, EndpointReplies) {
  const std::string metrics = "qvp_workers 1\n";
  int scrapes = 0, wanted = 0;
  const std::function<std::string()> body = [&] { return ++scrapes, metrics; };
  for (const auto& c : data_cases("metrics_requests.txt")) {
    SCOPED_TRACE(c[0]);
    const std::string r = MetricsEndpoint::reply(c[0], body);
    const size_t end = r.find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(r.substr(0, r.find("\r\n")), c[1]);
    EXPECT_EQ(r.substr(end + 4), c[2]);
    const bool scrape = c[1] == "HTTP/1.0 200 OK";
    wanted += scrape;
    const size_t length = scrape ? metrics.size() : c[2].size();
    EXPECT_NE(r.find("Content-Length: " + std::to_string(length) + "\r\n"),
              std::string::npos);
  }
  EXPECT_EQ(scrapes, wanted);
}

// A scraper that sends half a request and stalls, one that connects and
// sends nothing, and one that sends an endless head do not keep a whole
// request from being answered.
TEST(PoolMetricsTest, StalledScrapersDoNotHoldOthersUp) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(listener, 16), 0);
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  MetricsEndpoint endpoint(listener, [] { return std::string("m 1\n"); });
  auto client = [&](const std::string& sent) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    // A bound on the reads below, should the endpoint never answer.
    const timeval limit = {10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(send(fd, sent.data(), sent.size(), 0), ssize_t(sent.size()));
    return fd;
  };
  const int half = client("GET /metr");
  const int silent = client("");
  const int endless = client(std::string(MetricsEndpoint::kMaxHead + 10, 'x'));
  const int whole = client("GET /metrics HTTP/1.0\r\n\r\n");
  // Each step does what can be done without blocking.
  for (int i = 0; i < 20; ++i) endpoint.step();
  auto read_reply = [](int fd) {
    std::string got(4096, '\0');
    const ssize_t n = recv(fd, got.data(), got.size(), MSG_WAITALL);
    got.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return got;
  };
  const std::string got = read_reply(whole);
  EXPECT_EQ(got.substr(0, 15), "HTTP/1.0 200 OK");
  EXPECT_EQ(got.substr(got.size() - 4), "m 1\n");
  EXPECT_EQ(read_reply(endless).substr(0, 12), "HTTP/1.0 431");
  // Once the answered clients close, they are gone; the stalled ones are
  // still waited for.
  close(whole);
  close(endless);
  for (int i = 0; i < 20; ++i) endpoint.step();
  std::vector<pollfd> fds;
  endpoint.add_poll_fds(fds);
  EXPECT_EQ(fds.size(), 3U);  // the listener, `half` and `silent`
  EXPECT_NE(endpoint.next_deadline(),
            MetricsEndpoint::Clock::time_point::max());
  endpoint.close_all();
  close(half);
  close(silent);
}

}  // namespace
}  // namespace libqvp
