// The pool's command line: defaults, accepted values and refusals.
#include <libqvp/Pool.h>

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
  const Pool::Options o = parse(
      {"--serve", "unix:/run/x.sock", "--root", "/data", "--workers", "3",
       "--max-requests", "100", "--timeout", "60", "--config", "/etc/q.conf",
       "--read-timeout", "5", "--drain-timeout", "0", "--socket-mode", "660"});
  EXPECT_EQ(o.address, "unix:/run/x.sock");
  EXPECT_EQ(o.root, "/data");
  EXPECT_EQ(o.workers, 3);
  EXPECT_EQ(o.max_requests, 100);
  EXPECT_EQ(o.timeout, 60);
  EXPECT_EQ(o.config, "/etc/q.conf");
  EXPECT_EQ(o.read_timeout, 5);
  EXPECT_EQ(o.drain_timeout, 0);
  EXPECT_EQ(o.socket_mode, 0660);
}

TEST(PoolTest, RefusesBadCommandLines) {
  static const std::vector<std::string> cases[] = {
      {"--root", "/d"},
      {"--serve", "unix:/x"},
      {"--serve", "unix:/x", "--root"},
      {"--serve", "unix:/x", "--root", "/d", "--workers", "0"},
      {"--serve", "unix:/x", "--root", "/d", "--workers", "1025"},
      {"--serve", "unix:/x", "--root", "/d", "--workers", "2x"},
      {"--serve", "unix:/x", "--root", "/d", "--workers", ""},
      {"--serve", "unix:/x", "--root", "/d", "--timeout", "-1"},
      {"--serve", "unix:/x", "--root", "/d", "--timeout", "86401"},
      {"--serve", "unix:/x", "--root", "/d", "--socket-mode", "0800"},
      {"--serve", "unix:/x", "--root", "/d", "--read-timeout", "0"},
      {"--serve", "unix:/x", "--root", "/d", "--nosuch", "1"},
      {"--serve", "unix:/x", "--root", "/d", "-o", "das"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c));
    EXPECT_THROW(parse(c), std::invalid_argument);
  }
}

TEST(PoolTest, RequestedOnlyWithServe) {
  static const struct {
    std::vector<std::string> args;
    bool requested;
  } cases[] = {{{"-o", "das", "x.nc"}, false},
               {{"--serve", "unix:/x"}, true},
               {{"--serve", "unix:/x", "--root", "/d"}, true},
               // a constraint expression must not switch the mode
               {{"-o", "das", "-e", "--serve", "x.nc"}, false},
               {{"--serves"}, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(call(&Pool::requested, c.args), c.requested)
        << testing::PrintToString(c.args);
  }
}

}  // namespace
}  // namespace libqvp
