// The signal dispatcher. The tables are plain arrays indexed by signal number;
// the signal action reads only lock-free atomics and the saved foreign
// action, so it is async-signal-safe. Updates block the signal meanwhile.
#include <libqvp/Error.h>
#include <libqvp/SignalHandler.h>

#include <atomic>
#include <string>

namespace libqvp {
namespace {

static_assert(std::atomic<EventHandler*>::is_always_lock_free,
              "the signal action reads the handler table");

std::atomic<EventHandler*> s_handlers[NSIG];
std::atomic<bool> s_chain[NSIG];    // run the foreign action after ours
bool s_installed[NSIG];             // our action is in place
struct sigaction s_previous[NSIG];  // the action ours displaced

bool is_function(const struct sigaction& sa) {
  if (sa.sa_flags & SA_SIGINFO) return sa.sa_sigaction != nullptr;
  return sa.sa_handler != SIG_DFL && sa.sa_handler != SIG_IGN;
}

// Runs the registered handler, then the displaced foreign action when it is
// chained and is a function (a default or ignore disposition is not run).
extern "C" void dispatch_signal(int signum, siginfo_t* info, void* context) {
  EventHandler* handler = s_handlers[signum].load();
  if (handler != nullptr) handler->handle_signal(signum);
  if (!s_chain[signum].load()) return;
  const struct sigaction& prev = s_previous[signum];
  if (!is_function(prev)) return;
  if (prev.sa_flags & SA_SIGINFO)
    prev.sa_sigaction(signum, info, context);
  else
    prev.sa_handler(signum);
}

// Blocks `signum` for the lifetime of the guard.
class BlockSignal {
 public:
  explicit BlockSignal(int signum) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signum);
    sigprocmask(SIG_BLOCK, &set, &d_saved);
  }
  ~BlockSignal() { sigprocmask(SIG_SETMASK, &d_saved, nullptr); }
  BlockSignal(const BlockSignal&) = delete;
  BlockSignal& operator=(const BlockSignal&) = delete;

 private:
  sigset_t d_saved;
};

bool in_range(int signum) { return signum > 0 && signum < NSIG; }

}  // namespace

SignalHandler* SignalHandler::instance() {
  static SignalHandler* the_instance = new SignalHandler();
  return the_instance;
}

EventHandler* SignalHandler::register_handler(int signum, EventHandler* eh,
                                              bool override) {
  if (!in_range(signum) || signum == SIGKILL || signum == SIGSTOP)
    throw Error(internal_error, "SignalHandler::register_handler: signal " +
                                    std::to_string(signum) +
                                    " cannot be handled");
  BlockSignal block(signum);
  if (!s_installed[signum]) {
    struct sigaction ours {};
    ours.sa_sigaction = dispatch_signal;
    ours.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&ours.sa_mask);
    if (sigaction(signum, &ours, &s_previous[signum]) != 0)
      throw Error(internal_error,
                  "SignalHandler::register_handler: cannot "
                  "install an action for signal " +
                      std::to_string(signum));
    s_installed[signum] = true;
  }
  s_chain[signum].store(!override);
  return s_handlers[signum].exchange(eh);
}

EventHandler* SignalHandler::get_handler(int signum) const {
  return in_range(signum) ? s_handlers[signum].load() : nullptr;
}

EventHandler* SignalHandler::remove_handler(int signum) {
  if (!in_range(signum)) return nullptr;
  BlockSignal block(signum);
  if (s_installed[signum]) {
    sigaction(signum, &s_previous[signum], nullptr);
    s_installed[signum] = false;
    s_chain[signum].store(false);
  }
  return s_handlers[signum].exchange(nullptr);
}

}  // namespace libqvp
