// Which signal actions the process changed, so that a resident server puts
// back only those after a request instead of every standard signal's (a
// system call each, a measurable share of a small request).
//
// The library defines sigaction(), signal(), bsd_signal(), sysv_signal() and
// sigset(): each records the signal when it sets an action and forwards the
// call to the C library's function of the same name (found with
// dlsym(RTLD_NEXT) when the library is loaded). Being in a library every
// handler links, they stand in front of the C library's for the handler's
// code and every library it calls; glibc's own internal changes (system(),
// abort()) do not pass through them, and put their actions back themselves.
// Recording is a lock-free atomic operation: async-signal-safe.
#ifndef LIBQVP_CHANGEDSIGNALS_H
#define LIBQVP_CHANGEDSIGNALS_H

#include <signal.h>

#include <cstdint>

namespace libqvp {

class ChangedSignals {
 public:
  ChangedSignals() = delete;

  // The standard signals (1 to 63) whose action was set since the last
  // take(), as bit (signum - 1); cleared.
  static uint64_t take();

  // The signals recorded since the last take(), left recorded.
  static uint64_t peek();

  // Drops `set` from the record: their actions are known to be as they were
  // at the last take() again.
  static void forget(uint64_t set);

  // The set of `signum` alone (empty for a signal not recorded).
  static uint64_t only(int signum) {
    return signum > 0 && signum < 64 ? uint64_t{1} << (signum - 1) : 0;
  }

  // True when `signum` is in a set take() returned.
  static bool has(uint64_t set, int signum) {
    return signum > 0 && signum < 64 && (set >> (signum - 1) & 1) != 0;
  }

  // True when a change made through sigaction() is recorded: the stand-ins
  // are in front of the C library's functions in this process. Changes the
  // action of SIGURG to what it is, and clears the record. When false, a
  // resident server has to put back every action.
  static bool recording();
};

}  // namespace libqvp

#endif  // LIBQVP_CHANGEDSIGNALS_H
