// Every C library function that sets a signal action is seen, in a process
// that links the server library, and nothing else is.
#include "../../server/src/ChangedSignals.h"

#include <gtest/gtest.h>

#include <functional>

// Defined by the C library, and declared by its headers no longer.
extern "C" sighandler_t bsd_signal(int, sighandler_t);

namespace libqvp {
namespace {

extern "C" void on_signal(int) {}

// sigset() is obsolete, and still a way a library may set an action.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
sighandler_t obsolete_sigset(int signum, sighandler_t handler) {
  return sigset(signum, handler);
}
#pragma GCC diagnostic pop

struct SetAction {
  const char* name;
  std::function<void()> call;
  bool recorded;
};

TEST(ChangedSignalsTest, RecordsWhatSetsAnActionOnly) {
  ASSERT_TRUE(ChangedSignals::recording());
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  const SetAction cases[] = {
      {"sigaction", [&] { sigaction(SIGUSR2, &ignore, nullptr); }, true},
      {"signal", [] { signal(SIGUSR2, on_signal); }, true},
      {"bsd_signal", [] { bsd_signal(SIGUSR2, SIG_IGN); }, true},
      {"sysv_signal", [] { sysv_signal(SIGUSR2, on_signal); }, true},
      {"sigset", [] { obsolete_sigset(SIGUSR2, SIG_IGN); }, true},
      {"sigset SIG_HOLD", [] { obsolete_sigset(SIGUSR2, SIG_HOLD); }, false},
      {"sigaction read",
       [] {
         struct sigaction now {};
         sigaction(SIGUSR2, nullptr, &now);
       },
       false},
      {"signal mask",
       [] {
         sigset_t set;
         sigemptyset(&set);
         sigprocmask(SIG_BLOCK, &set, nullptr);
       },
       false},
  };
  for (const SetAction& c : cases) {
    ChangedSignals::take();
    c.call();
    const uint64_t changed = ChangedSignals::take();
    EXPECT_EQ(ChangedSignals::has(changed, SIGUSR2), c.recorded) << c.name;
    EXPECT_EQ(changed & ~(uint64_t{1} << (SIGUSR2 - 1)), 0u) << c.name;
    signal(SIGUSR2, SIG_DFL);
    sigset_t usr2;
    sigemptyset(&usr2);
    sigaddset(&usr2, SIGUSR2);
    sigprocmask(SIG_UNBLOCK, &usr2, nullptr);
  }
  EXPECT_EQ(ChangedSignals::take(), uint64_t{1} << (SIGUSR2 - 1));
  EXPECT_EQ(ChangedSignals::take(), 0u);
}

}  // namespace
}  // namespace libqvp
