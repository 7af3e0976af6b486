// SCGI requests as a worker reads them from a connection: what is accepted,
// what is refused with a reply, and what only closes the connection.
#include "../../server/src/pool/ScgiRequest.h"

#include <sys/socket.h>

#include <chrono>

#include "ServerTest.h"

namespace libqvp {
namespace {

using namespace std::string_literals;

std::string netstring(const std::string& payload) {
  return std::to_string(payload.size()) + ":" + payload + ",";
}

// Each string followed by a NUL.
std::string nul_ended(std::initializer_list<std::string> items) {
  std::string s;
  for (const auto& i : items) s += i + '\0';
  return s;
}

const std::string kMinimal = nul_ended({"CONTENT_LENGTH", "0", "SCGI", "1"});

class ScgiRequestTest : public ::testing::Test {
 protected:
  // Reads a request from a fresh socket into which `bytes` were written;
  // with `close_after` the peer then closes its end, else it stays silent.
  ScgiRequest read(const std::string& bytes, bool close_after = true,
                   int timeout_ms = 2000) {
    TearDown();
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    d_peer = fds[0];
    d_fd = fds[1];
    EXPECT_EQ(write(d_peer, bytes.data(), bytes.size()),
              static_cast<ssize_t>(bytes.size()));
    if (close_after) shutdown(d_peer, SHUT_WR);
    return ScgiRequest::read(d_fd, timeout_ms);
  }

  void TearDown() override {
    if (d_fd >= 0) close(d_fd);
    if (d_peer >= 0) close(d_peer);
    d_fd = d_peer = -1;
  }

  int d_fd = -1;
  int d_peer = -1;
};

TEST_F(ScgiRequestTest, ReadsHeadersAndDropsTheBody) {
  const ScgiRequest r =
      read(netstring(nul_ended({"CONTENT_LENGTH", "5", "SCGI", "1", "PATH_INFO",
                                "/a b.nc.das", "QUERY_STRING", "", "PATH_INFO",
                                "/x"})) +
           "hello");
  EXPECT_EQ(r.content_length(), 5u);
  EXPECT_STREQ(r.get("PATH_INFO"), "/x");  // the last one counts
  EXPECT_STREQ(r.get("QUERY_STRING"), "");
  EXPECT_EQ(r.get("HTTP_HOST"), nullptr);
  char rest;
  EXPECT_EQ(::read(d_fd, &rest, 1), 0);  // the body was consumed
}

// The cases file, and a header over the bound, too long to write there.
TEST_F(ScgiRequestTest, RefusesBadRequests) {
  auto cases = data_cases("refused_scgi.txt");
  cases.push_back({"0", "65537:" + std::string(65537, 'a')});
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c[1].substr(0, 40)));
    expect_throw<ScgiError>([&] { read(c[1]); },
                            [&](const ScgiError& e) {
                              EXPECT_EQ(c[0] != "0", e.can_reply) << e.what();
                              if (e.can_reply) {
                                EXPECT_EQ(std::to_string(e.status), c[0]);
                              }
                            });
  }
}

TEST_F(ScgiRequestTest, AcceptsTheLargestHeaderBlock) {
  std::string payload = kMinimal + "X\0"s;
  payload +=
      std::string(ScgiRequest::kMaxHeaderBytes - payload.size() - 1, 'v') +
      '\0';
  ASSERT_EQ(payload.size(), ScgiRequest::kMaxHeaderBytes);
  EXPECT_EQ(std::string(read(netstring(payload)).get("X")).size(),
            ScgiRequest::kMaxHeaderBytes - kMinimal.size() - 3);
}

TEST_F(ScgiRequestTest, AStalledSenderIsDroppedAtTheDeadline) {
  for (const std::string& partial : {""s, "12"s, "30:CONTENT_LENGTH"s}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(read(partial, false, 200), ScgiError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2))
        << partial;
  }
}

}  // namespace
}  // namespace libqvp
