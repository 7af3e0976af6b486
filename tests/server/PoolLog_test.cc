// The pool's log: the form of its lines, and the bound on how many lines a
// flood of one kind of event writes.
#include "../../server/src/pool/PoolLog.h"

#include "../../server/src/pool/LogRateLimit.h"
#include "ServerTest.h"

namespace libqvp {
namespace {

TEST(PoolLogTest, LinesHaveOneFormAndNameTheWorker) {
  for (const auto& c : data_cases("pool_log_lines.txt")) {
    EXPECT_EQ(
        pool_log_line(std::stoll(c[0]), std::stoi(c[1]), std::stoi(c[2]), c[3]),
        c[4]);
  }
}

// Instants in milliseconds from a start, and what the limit does there: a
// line admitted ("+") or held back ("-"), or the held-back count reported
// ("=N"; "=0": nothing to report yet).
TEST(PoolLogTest, AFloodIsLoggedAtABoundedRate) {
  const std::vector<std::pair<int, std::string>> steps = {
      {0, "+"},    {1, "+"},    {2, "+"},     {3, "-"},     {500, "-"},
      {999, "=0"}, {999, "-"},  {1000, "=3"}, {1000, "=0"}, {1000, "+"},
      {1500, "+"}, {1900, "+"}, {1950, "-"},  {5000, "=1"}, {5000, "+"}};
  LogRateLimit limit(3, std::chrono::seconds(1));
  const LogRateLimit::Clock::time_point start{};
  EXPECT_EQ(limit.report_due(), LogRateLimit::Clock::time_point::max());
  for (const auto& [ms, want] : steps) {
    SCOPED_TRACE(std::to_string(ms) + " " + want);
    const auto now = start + std::chrono::milliseconds(ms);
    if (want[0] == '=') {
      EXPECT_EQ(limit.held_back(now), std::stoul(want.substr(1)));
    } else {
      EXPECT_EQ(limit.admit(now), want == "+");
      if (want == "-") {
        EXPECT_LE(limit.report_due(), now + std::chrono::seconds(1));
        EXPECT_GT(limit.report_due(), now);
      }
    }
  }
}

}  // namespace
}  // namespace libqvp
