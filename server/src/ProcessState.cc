// Each part is restored only when it was recorded, so an owner pays only for
// what it saves. The order of restore() matters: the alarm is cancelled
// before the handlers are removed, so a late SIGALRM cannot meet the
// default action (which ends the process).
#include "ProcessState.h"

#include <fcntl.h>
#include <libqvp/AlarmHandler.h>
#include <libqvp/SignalHandler.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "ChangedSignals.h"

namespace libqvp {
namespace {

const struct sigaction kNoAction {};

// See make_outermost(); null when no state is.
const ProcessState* g_outermost = nullptr;

// Deletes `h`, which a request registered with SignalHandler. An
// AlarmHandler built on a standard stream would close it when deleted,
// which a one-shot process never does but would break every later response
// of a resident one: it gives the stream up first. Any other FILE* it owns
// is closed, as its contract says.
void release(EventHandler* h) {
  if (auto* alarm = dynamic_cast<AlarmHandler*>(h)) {
    FILE* f = alarm->file();
    if (f == stdin || f == stdout || f == stderr) alarm->release_file();
  }
  delete h;
}

}  // namespace

ProcessState::~ProcessState() {
  if (g_outermost == this) g_outermost = nullptr;
}

void ProcessState::make_outermost() { g_outermost = this; }

void ProcessState::save_actions(const std::vector<int>& signals) {
  d_watch_all = !ChangedSignals::recording();
  for (int s : signals) {
    d_watched.emplace_back(s, kNoAction);
    sigaction(s, nullptr, &d_watched.back().second);
  }
  ChangedSignals::take();
}

void ProcessState::save_signal_mask() {
  d_has_mask = sigprocmask(SIG_BLOCK, nullptr, &d_mask) == 0;
}

void ProcessState::save_signal_handlers() {
  const SignalHandler* signals = SignalHandler::instance();
  d_had_handler.assign(NSIG, false);
  for (int s = 1; s < NSIG; ++s)
    d_had_handler[s] = signals->get_handler(s) != nullptr;
  d_has_handlers = true;
}

bool ProcessState::save_working_directory() {
  if (d_directory.get() < 0)
    d_directory.reset(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return d_directory.get() >= 0;
}

bool ProcessState::save_standard_output() {
  if (d_stdout.get() < 0)
    d_stdout.reset(fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0));
  return d_stdout.get() >= 0;
}

void ProcessState::set_action(int signum, const struct sigaction& action) {
  const bool unchanged =
      (ChangedSignals::peek() & ChangedSignals::only(signum)) == 0;
  d_actions.push_back({signum, kNoAction, unchanged});
  sigaction(signum, &action, &d_actions.back().action);
}

void ProcessState::set_alternate_stack(const stack_t& stack) {
  d_has_stack = sigaltstack(&stack, &d_stack) == 0;
}

bool ProcessState::enter_directory(const char* path) {
  const bool outermost_returns = g_outermost != nullptr &&
                                 g_outermost != this &&
                                 g_outermost->d_directory.get() >= 0;
  return (outermost_returns || save_working_directory()) && chdir(path) == 0;
}

void ProcessState::restore_output() const {
  if (fflush(stdout) != 0) __fpurge(stdout);
  clearerr(stdout);
  std::cout.clear();
  if (d_stdout.get() >= 0) dup2(d_stdout.get(), STDOUT_FILENO);
}

bool ProcessState::restore() const {
  alarm(0);
  if (d_has_handlers) {
    SignalHandler* signals = SignalHandler::instance();
    for (int s = 1; s < NSIG; ++s)
      if (!d_had_handler[s] && signals->get_handler(s) != nullptr)
        release(signals->remove_handler(s));
  }
  // Latest first: a signal saved twice gets its first saved action back.
  uint64_t as_saved = 0;
  for (auto a = d_actions.rbegin(); a != d_actions.rend(); ++a) {
    sigaction(a->signum, &a->action, nullptr);
    if (a->unchanged) as_saved |= ChangedSignals::only(a->signum);
  }
  ChangedSignals::forget(as_saved);
  if (!d_watched.empty()) {
    const uint64_t changed = ChangedSignals::take();
    for (const auto& [signum, action] : d_watched)
      if (d_watch_all || ChangedSignals::has(changed, signum))
        sigaction(signum, &action, nullptr);
    ChangedSignals::take();  // what putting them back recorded
  }
  if (d_has_mask) sigprocmask(SIG_SETMASK, &d_mask, nullptr);
  if (d_has_stack) {
    if (d_stack.ss_flags & SS_DISABLE) {
      stack_t off{};
      off.ss_flags = SS_DISABLE;
      sigaltstack(&off, nullptr);
    } else {
      sigaltstack(&d_stack, nullptr);
    }
  }
  return d_directory.get() < 0 || fchdir(d_directory.get()) == 0;
}

std::vector<int> ProcessState::standard_signals() {
  std::vector<int> signals;
  const int first_realtime = SIGRTMIN;
  for (int s = 1; s < first_realtime; ++s)
    if (s != SIGKILL && s != SIGSTOP) signals.push_back(s);
  return signals;
}

}  // namespace libqvp
