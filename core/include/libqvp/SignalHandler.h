// The process-wide signal dispatcher: one POSIX signal action per signal that
// calls the EventHandler registered for it.
#ifndef LIBQVP_SIGNALHANDLER_H
#define LIBQVP_SIGNALHANDLER_H

#include <libqvp/EventHandler.h>

#include <csignal>

namespace libqvp {

class SignalHandler {
 public:
  // The one dispatcher of the process; never null, never destroyed.
  static SignalHandler* instance();

  // Registers `eh` for `signum` and installs the signal action. Ownership of
  // `eh` passes to the dispatcher. Returns the handler registered before, or
  // null; the caller deletes it. With `override` false a signal action that
  // was installed before (outside this dispatcher) still runs after `eh`;
  // with true it is replaced. Throws Error for a signal number out of range.
  EventHandler* register_handler(int signum, EventHandler* eh,
                                 bool override = false);

  // The handler registered for `signum`, or null. Ownership stays.
  EventHandler* get_handler(int signum) const;

  // Unregisters and returns the handler for `signum` (the caller deletes it),
  // restoring the signal action that was there before; null when none.
  EventHandler* remove_handler(int signum);

  SignalHandler(const SignalHandler&) = delete;
  SignalHandler& operator=(const SignalHandler&) = delete;

 private:
  SignalHandler() = default;
};

}  // namespace libqvp

#endif  // LIBQVP_SIGNALHANDLER_H
