// The texts that a signal may have to write are made when the guard is
// armed, into static buffers, so that the signal action itself only calls
// async-signal-safe functions (write, fcntl, _exit). Fd 1 is made
// non-blocking just before the error response is written: a client that does
// not read cannot hold the process, and the process ends right after.
#include <fcntl.h>
#include <libqvp/Error.h>
#include <libqvp/ErrorBlock.h>
#include <libqvp/RequestGuard.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "ProcessState.h"
#include "cgi_dates.h"

namespace libqvp {
namespace {

constexpr size_t kTextSize = 2048;

// A fixed text made before the signal, written by the signal action.
struct SignalText {
  char bytes[kTextSize];
  size_t size;
  void set(const std::string& text) {
    size = text.size() < kTextSize ? text.size() : kTextSize;
    memcpy(bytes, text.data(), size);
  }
};

// What the responses and the log prefix in the buffers were made for: they
// are made again only when one of these changes, at most once a second
// when requests follow each other in a resident server.
struct PreparedFor {
  bool made = false;
  unsigned seconds = 0;
  std::string version;
  time_t now = 0;
};

volatile sig_atomic_t g_output_started = 0;
PreparedFor g_prepared;
SignalText g_expired_response, g_crashed_response;
SignalText g_log_prefix, g_expired_log, g_crashed_log;
alignas(16) char g_alt_stack[64 * 1024];

// Writes what it can of `text` without waiting for the reader of `fd`.
void write_without_waiting(int fd, const SignalText& text) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  const char* p = text.bytes;
  size_t left = text.size;
  for (int tries = 0; left > 0 && tries < 100; ++tries) {
    const ssize_t n = write(fd, p, left);
    if (n > 0) {
      p += n;
      left -= static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      break;
    }
  }
}

void write_log(const SignalText& text) {
  const SignalText* parts[] = {&g_log_prefix, &text};
  for (const SignalText* part : parts) {
    ssize_t unused = write(STDERR_FILENO, part->bytes, part->size);
    (void)unused;
  }
}

extern "C" void end_request(int signum) {
  const bool expired = signum == SIGALRM;
  if (!g_output_started)
    write_without_waiting(STDOUT_FILENO,
                          expired ? g_expired_response : g_crashed_response);
  write_log(expired ? g_expired_log : g_crashed_log);
  _exit(expired ? 1 : RequestGuard::kCrashStatus);
}

std::string response_text(const std::string& message,
                          const std::string& version) {
  return error_block(500, "Internal Server Error",
                     Error(internal_error, message), version);
}

}  // namespace

RequestGuard::RequestGuard(unsigned seconds, const std::string& version,
                           const std::string& what, const std::string& workdir)
    : d_saved(std::make_unique<ProcessState>()) {
  g_output_started = 0;
  const std::string limit = std::to_string(seconds);
  const time_t now = time(nullptr);
  if (!g_prepared.made || g_prepared.seconds != seconds ||
      g_prepared.now != now || g_prepared.version != version) {
    g_expired_response.set(response_text(
        "The request ran past its time limit of " + limit + " seconds",
        version));
    g_crashed_response.set(response_text(
        "The server failed while reading this data set", version));
    g_log_prefix.set("[" + log_time_text(now) + "] QVP server error: ");
    g_prepared = {true, seconds, version, now};
  }
  g_expired_log.set("the request for " + what + " ran past its time limit (" +
                    limit + " s) and was ended\n");
  g_crashed_log.set("the request for " + what +
                    " ended on a fatal signal (crash in a library)\n");

  stack_t alt{};
  alt.ss_sp = g_alt_stack;
  alt.ss_size = sizeof g_alt_stack;
  d_saved->set_alternate_stack(alt);

  struct sigaction sa {};
  sa.sa_handler = end_request;
  sigfillset(&sa.sa_mask);
  sa.sa_flags = SA_ONSTACK;
  for (int s : {SIGALRM, SIGSEGV, SIGBUS, SIGFPE, SIGABRT})
    d_saved->set_action(s, sa);

  if (!workdir.empty()) d_saved->enter_directory(workdir.c_str());
  if (seconds > 0) alarm(seconds);
}

RequestGuard::~RequestGuard() { d_saved->restore(); }

void RequestGuard::note_output_started() { g_output_started = 1; }

bool RequestGuard::output_started() { return g_output_started != 0; }

}  // namespace libqvp
