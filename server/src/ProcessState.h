// The process state that a request may change, saved and put back by one
// owner: the pool's worker around every request, and a RequestGuard around
// what it changes itself. Private to the server library.
#ifndef LIBQVP_PROCESSSTATE_H
#define LIBQVP_PROCESSSTATE_H

#include <libqvp/FileDescriptor.h>
#include <signal.h>

#include <utility>
#include <vector>

namespace libqvp {

class ProcessState {
 public:
  ProcessState() = default;
  // Closes the descriptors it saved; restores nothing.
  ~ProcessState();

  // Record, as they are now, what restore() or restore_output() puts back.
  // save_actions() records the actions of `signals`: restore() puts back
  // those that were set since its previous call or since save_actions()
  // (ChangedSignals), or all of them when this process does not record
  // changes. save_signal_handlers() records which signals have a handler
  // registered with SignalHandler; save_working_directory() and
  // save_standard_output() are false (and record nothing) when no
  // descriptor can be had.
  void save_actions(const std::vector<int>& signals);
  void save_signal_mask();
  void save_signal_handlers();
  bool save_working_directory();
  bool save_standard_output();

  // Change a part of the state, recording what it was before (in the same
  // system call). enter_directory() first saves the working directory when
  // it is not saved yet, unless the outermost state has it saved (then this
  // state leaves putting it back to that one); a directory that cannot be
  // entered changes nothing and is false. When this state puts back an
  // action that was unchanged since the last ChangedSignals::take(), it
  // drops the signal from the record again (it is as the outermost state
  // saved it).
  void set_action(int signum, const struct sigaction& action);
  void set_alternate_stack(const stack_t& stack);
  bool enter_directory(const char* path);

  // Ends a response on stdout: its unwritten bytes are written, or dropped
  // when they cannot be (never into the next response); the error state of
  // stdout and std::cout is cleared; with save_standard_output(), fd 1 is
  // again the file it was then. Throws nothing.
  void restore_output() const;

  // Cancels the alarm, removes and deletes the signal handlers registered
  // since save_signal_handlers() (an AlarmHandler built on stdin, stdout or
  // stderr gives that stream up first, so it is not closed), and puts back
  // the signal actions, the signal mask, the alternate signal stack and the
  // working directory recorded. False when the working directory cannot be
  // entered again (all else is restored). Throws nothing.
  bool restore() const;

  // Makes this state the one that every request of the process is put back
  // to (a resident server's, saved before its first request), until it is
  // destroyed.
  void make_outermost();

  // The standard signals that can be handled: all but SIGKILL, SIGSTOP and
  // the real-time ones, which are no handler's business (and a system call
  // per signal is a measurable share of a small request).
  static std::vector<int> standard_signals();

  ProcessState(const ProcessState&) = delete;
  ProcessState& operator=(const ProcessState&) = delete;

 private:
  struct SavedAction {
    int signum;
    struct sigaction action;
    bool unchanged;  // not recorded as changed when it was saved
  };
  std::vector<SavedAction> d_actions;                       // set_action()
  std::vector<std::pair<int, struct sigaction>> d_watched;  // save_actions()
  bool d_watch_all = true;  // put back every watched action, changed or not
  bool d_has_mask = false;
  sigset_t d_mask{};
  bool d_has_stack = false;
  stack_t d_stack{};
  bool d_has_handlers = false;
  std::vector<bool> d_had_handler;  // by signal number
  FileDescriptor d_directory;       // the saved working directory, or none
  FileDescriptor d_stdout;          // the saved fd 1, or none
};

}  // namespace libqvp

#endif  // LIBQVP_PROCESSSTATE_H
