// The interface through which SignalHandler delivers a signal. Header-only:
// the server library's AlarmHandler implements it.
#ifndef LIBQVP_EVENTHANDLER_H
#define LIBQVP_EVENTHANDLER_H

namespace libqvp {

class EventHandler {
 public:
  EventHandler() = default;
  // Called from the process-wide signal action when `signum` arrives.
  virtual void handle_signal(int signum) = 0;
  virtual ~EventHandler() {}
};

}  // namespace libqvp

#endif  // LIBQVP_EVENTHANDLER_H
