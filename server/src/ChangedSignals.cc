// The stand-ins for the C library's functions that set signal actions; see
// ChangedSignals.h. They have C linkage and default visibility so that the
// dynamic linker finds them before the C library's.
#include "ChangedSignals.h"

#include <dlfcn.h>

#include <atomic>
#include <cerrno>

namespace libqvp {
namespace {

using SigactionFunction = int (*)(int, const struct sigaction*,
                                  struct sigaction*);
using SignalFunction = sighandler_t (*)(int, sighandler_t);

std::atomic<uint64_t> g_changed{0};

void record(int signum) {
  g_changed.fetch_or(ChangedSignals::only(signum), std::memory_order_relaxed);
}

// The next definition of `name` after this library's, looked up once (at
// load time, see below, so never first from a signal handler).
template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

SigactionFunction real_sigaction() {
  static const SigactionFunction f = next<SigactionFunction>("sigaction");
  return f;
}

// The functions of signal()'s form, by name.
template <const char* Name>
SignalFunction real_signal() {
  static const SignalFunction f = next<SignalFunction>(Name);
  return f;
}

constexpr char kSignal[] = "signal";
constexpr char kBsdSignal[] = "bsd_signal";
constexpr char kSysvSignal[] = "sysv_signal";
constexpr char kSigset[] = "sigset";

template <const char* Name>
sighandler_t forward_signal(int signum, sighandler_t handler) {
  const SignalFunction f = real_signal<Name>();
  if (f == nullptr) {
    errno = ENOSYS;
    return SIG_ERR;
  }
  // sigset() with SIG_HOLD only blocks the signal: its action stays.
  if (handler != SIG_HOLD) record(signum);
  return f(signum, handler);
}

// Resolves every stand-in's C library function while the process is
// single-threaded and outside any signal handler.
__attribute__((constructor)) void resolve_at_load() {
  real_sigaction();
  real_signal<kSignal>();
  real_signal<kBsdSignal>();
  real_signal<kSysvSignal>();
  real_signal<kSigset>();
}

}  // namespace

uint64_t ChangedSignals::take() {
  return g_changed.exchange(0, std::memory_order_relaxed);
}

uint64_t ChangedSignals::peek() {
  return g_changed.load(std::memory_order_relaxed);
}

void ChangedSignals::forget(uint64_t set) {
  g_changed.fetch_and(~set, std::memory_order_relaxed);
}

bool ChangedSignals::recording() {
  struct sigaction now {};
  if (sigaction(SIGURG, nullptr, &now) != 0) return false;
  take();
  if (sigaction(SIGURG, &now, nullptr) != 0) return false;
  return has(take(), SIGURG);
}

}  // namespace libqvp

extern "C" {

int sigaction(int signum, const struct sigaction* act,
              struct sigaction* old) noexcept {
  const libqvp::SigactionFunction f = libqvp::real_sigaction();
  if (f == nullptr) {
    errno = ENOSYS;
    return -1;
  }
  if (act != nullptr) libqvp::record(signum);
  return f(signum, act, old);
}

sighandler_t signal(int signum, sighandler_t handler) noexcept {
  return libqvp::forward_signal<libqvp::kSignal>(signum, handler);
}

sighandler_t bsd_signal(int signum, sighandler_t handler) noexcept {
  return libqvp::forward_signal<libqvp::kBsdSignal>(signum, handler);
}

sighandler_t sysv_signal(int signum, sighandler_t handler) noexcept {
  return libqvp::forward_signal<libqvp::kSysvSignal>(signum, handler);
}

sighandler_t sigset(int signum, sighandler_t handler) noexcept {
  return libqvp::forward_signal<libqvp::kSigset>(signum, handler);
}

}  // extern "C"
