// SCGI requests as a worker reads them from a connection: what is accepted,
// what is refused with a reply, and what only closes the connection.
#include "../../server/src/pool/ScgiRequest.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "ExpectError.h"

namespace libqvp {
namespace {

using namespace std::string_literals;

std::string netstring(const std::string& payload) {
  return std::to_string(payload.size()) + ":" + payload + ",";
}

const std::string kMinimal =
    "CONTENT_LENGTH\0"s
    "0\0"s
    "SCGI\0"s
    "1\0"s;

class ScgiRequestTest : public ::testing::Test {
 protected:
  // Reads a request from a socket into which `bytes` were written; with
  // `close_after` the peer then closes its end, else it stays silent.
  ScgiRequest read(const std::string& bytes, bool close_after = true,
                   int timeout_ms = 2000) {
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
  }

  int d_fd = -1;
  int d_peer = -1;
};

TEST_F(ScgiRequestTest, ReadsHeadersAndDropsTheBody) {
  const std::string payload =
      "CONTENT_LENGTH\0"s
      "5\0"s
      "SCGI\0"s
      "1\0"s
      "PATH_INFO\0"s
      "/a b.nc.das\0"s
      "QUERY_STRING\0"s
      "\0"s
      "PATH_INFO\0"s
      "/x\0"s;
  const ScgiRequest r = read(netstring(payload) + "hello");
  EXPECT_EQ(r.content_length(), 5u);
  EXPECT_STREQ(r.get("PATH_INFO"), "/a b.nc.das");  // the first one counts
  EXPECT_STREQ(r.get("QUERY_STRING"), "");
  EXPECT_EQ(r.get("HTTP_HOST"), nullptr);
  char rest;
  EXPECT_EQ(::read(d_fd, &rest, 1), 0);  // the body was consumed
}

TEST_F(ScgiRequestTest, RefusesBadHeadersWithAReply) {
  static const std::string cases[] = {
      "",
      "SCGI\0"s
      "1\0"s
      "CONTENT_LENGTH\0"s
      "0\0"s,
      "CONTENT_LENGTH\0"s
      "\0"s
      "SCGI\0"s
      "1\0"s,
      "CONTENT_LENGTH\0"s
      "-1\0"s
      "SCGI\0"s
      "1\0"s,
      "CONTENT_LENGTH\0"s
      "1048577\0"s
      "SCGI\0"s
      "1\0"s,
      "CONTENT_LENGTH\0"s
      "99999999999999999999\0"s
      "SCGI\0"s
      "1\0"s,
      "CONTENT_LENGTH\0"s
      "0\0"s,
      "CONTENT_LENGTH\0"s
      "0\0"s
      "SCGI\0"s
      "0\0"s,
      kMinimal +
          "NAME\0"s
          "value",        // an unterminated value
      kMinimal + "NAME",  // a name alone
      kMinimal +
          "\0"s
          "value\0"s,  // an empty name
  };
  for (const std::string& payload : cases) {
    SCOPED_TRACE(testing::PrintToString(payload));
    test::expect_throw<ScgiError>(
        [&] { read(netstring(payload)); },
        [&](const ScgiError& e) { EXPECT_TRUE(e.can_reply) << e.what(); });
    TearDown();
    d_fd = d_peer = -1;
  }
}

TEST_F(ScgiRequestTest, ClosesOnBrokenFraming) {
  static const std::string cases[] = {
      "",                                  // nothing at all
      ":" + kMinimal + ",",                // no length
      "x:",                                // not a number
      "1234567:",                          // too many digits
      "65537:" + std::string(65537, 'a'),  // over the header bound
      std::to_string(kMinimal.size()) + ":" + kMinimal + ";",  // no ','
      std::to_string(kMinimal.size() + 1) + ":" + kMinimal,    // truncated
      netstring("CONTENT_LENGTH\0"s
                "4\0"s
                "SCGI\0"s
                "1\0"s) +
          "abc",
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(testing::PrintToString(bytes.substr(0, 40)));
    test::expect_throw<ScgiError>(
        [&] { read(bytes); },
        [&](const ScgiError& e) { EXPECT_FALSE(e.can_reply) << e.what(); });
    TearDown();
    d_fd = d_peer = -1;
  }
}

TEST_F(ScgiRequestTest, AcceptsTheLargestHeaderBlock) {
  std::string payload = kMinimal + "X\0"s;
  payload +=
      std::string(ScgiRequest::kMaxHeaderBytes - payload.size() - 1, 'v') +
      "\0"s;
  ASSERT_EQ(payload.size(), ScgiRequest::kMaxHeaderBytes);
  EXPECT_EQ(std::string(read(netstring(payload)).get("X")).size(),
            ScgiRequest::kMaxHeaderBytes - kMinimal.size() - 3);
}

TEST_F(ScgiRequestTest, AStalledSenderIsDroppedAtTheDeadline) {
  for (const std::string& partial : {""s, "12"s, "30:CONTENT_LENGTH"s}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(read(partial, false, 200), ScgiError);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(2)) << partial;
    TearDown();
    d_fd = d_peer = -1;
  }
}

}  // namespace
}  // namespace libqvp
