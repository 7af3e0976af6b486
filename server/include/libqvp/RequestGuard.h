// Bounds one request of a handler: its whole run in time, and its end when a
// library it calls crashes. A handler arms one guard when the request begins
// and destroys it when the response is flushed; a resident server runs many
// requests in one process, so the guard undoes everything it changed.
#ifndef LIBQVP_REQUESTGUARD_H
#define LIBQVP_REQUESTGUARD_H

#include <signal.h>

#include <memory>
#include <string>

namespace libqvp {

class ProcessState;

class RequestGuard {
 public:
  // Arms the guard for the request that begins now:
  // - after `seconds` (when > 0) SIGALRM ends the process with _exit(1);
  // - SIGSEGV, SIGBUS, SIGFPE and SIGABRT end it with _exit(kCrashStatus),
  //   handled on an alternate stack so that a stack overflow is caught too.
  // Either way, when no response has begun (note_output_started), a fixed
  // 500 error response (error_block, Error code 1009) is first written to
  // fd 1 with non-blocking writes, so it never waits for a client that does
  // not read; and one line goes to fd 2 in the error log's form. Nothing is
  // flushed from stdio at that moment.
  // When `workdir` is not empty the process enters it (the working directory
  // is restored on destruction); a directory that cannot be entered leaves
  // the working directory as it was. `version` is the server version text of
  // the error response; `what` names the request in the log line.
  // Requires: no other RequestGuard is alive.
  RequestGuard(unsigned seconds, const std::string& version,
               const std::string& what, const std::string& workdir);
  // Cancels the alarm and restores the signal actions, the alternate signal
  // stack and the working directory as they were before.
  ~RequestGuard();

  // Records that the response has begun to go out on fd 1: from then on an
  // expiry or a crash only logs and ends the process. The library notes it
  // itself where a response begins: its header writers and response
  // operations writing to a FILE* (or to a stream that is not a string),
  // and begin_response() (<libqvp/header_edit.h>) for a header block made
  // in memory. A handler that writes to stdout by other means calls it
  // first. Async-signal-safe.
  static void note_output_started();
  static bool output_started();

  // The exit status after a crash.
  static constexpr int kCrashStatus = 70;

  RequestGuard(const RequestGuard&) = delete;
  RequestGuard& operator=(const RequestGuard&) = delete;

 private:
  std::unique_ptr<ProcessState> d_saved;  // what the guard changed
};

}  // namespace libqvp

#endif  // LIBQVP_REQUESTGUARD_H
