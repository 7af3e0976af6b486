// The SIGALRM handler that ends a data handler whose time limit (-t) has
// expired. VORNFilter::establish_timeout registers it with SignalHandler.
#ifndef LIBQVP_ALARMHANDLER_H
#define LIBQVP_ALARMHANDLER_H

#include <libqvp/EventHandler.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace libqvp {

class AlarmHandler : public EventHandler {
 public:
  // Owns `s` from now on: the destructor closes it (a null `s` is allowed).
  explicit AlarmHandler(FILE* s) : d_file(s), d_stream(std::cout) {}
  // Holds `s` without owning it; it is never written, flushed or closed.
  explicit AlarmHandler(std::ostream& s) : d_file(nullptr), d_stream(s) {}

  // Ends the process with exit(1), so that exit handlers run and buffered C
  // streams are flushed; writes nothing to the response. A `signum` other
  // than SIGALRM first writes "SIGALRM handler caught another signal!\n" to
  // standard error.
  //
  // exit() is not async-signal-safe: the signal may have interrupted malloc
  // or a stdio call holding a lock that exit() then needs. So that a
  // time-out can never leave the process hanging, a fallback is armed first:
  // SIGALRM is routed straight to _exit(1), unblocked, and fires again after
  // kExitGraceSeconds. A second entry (the fallback racing a slow exit, or
  // another signal delivered during exit) ends the process with _exit(1) at
  // once. Either way the exit status is 1.
  void handle_signal(int signum) override {
    static volatile sig_atomic_t exiting = 0;
    if (exiting) _exit(1);
    exiting = 1;
    arm_exit_fallback();
    if (signum != SIGALRM) {
      static const char kWarning[] = "SIGALRM handler caught another signal!\n";
      // write(2) rather than stdio: safe inside a signal action, and stderr
      // is unbuffered, so the bytes are the same.
      ssize_t unused = write(STDERR_FILENO, kWarning, sizeof kWarning - 1);
      (void)unused;
    }
    exit(1);
  }

  // Closes the FILE* the handler was built with, if any.
  ~AlarmHandler() override {
    if (d_file) fclose(d_file);
  }

  // The FILE* this handler owns (null for a stream handler); ownership stays.
  FILE* file() const { return d_file; }

  // Gives up ownership of the FILE*: the destructor then closes nothing.
  // Used when a new handler for the same FILE* takes over.
  FILE* release_file() {
    FILE* f = d_file;
    d_file = nullptr;
    return f;
  }

  AlarmHandler(const AlarmHandler&) = delete;
  AlarmHandler& operator=(const AlarmHandler&) = delete;

  // Seconds that exit() is given before the fallback ends the process.
  static constexpr unsigned kExitGraceSeconds = 2;

 private:
  AlarmHandler() = delete;

  static void exit_now(int) { _exit(1); }

  // Routes the next SIGALRM to _exit(1), unblocks it (it is blocked while
  // its own action runs) and starts it. Only async-signal-safe calls.
  static void arm_exit_fallback() {
    struct sigaction sa {};
    sa.sa_handler = exit_now;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGALRM, &sa, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGALRM);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    alarm(kExitGraceSeconds);
  }

  FILE* d_file;
  [[maybe_unused]] std::ostream& d_stream;  // std::cout for a FILE* handler
  std::string d_version;                    // empty
};

}  // namespace libqvp

#endif  // LIBQVP_ALARMHANDLER_H
