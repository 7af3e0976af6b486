// Everything a request may change in the process is put back after it by
// one ProcessState: the alarm, the signal handlers registered with
// SignalHandler (released), the action of every standard signal that the
// request set (ChangedSignals records them) and the signal mask, the working
// directory, stdout's descriptor, buffer and error state; errno is 0 when
// the handler is called.
// Pool signals (SIGTERM, SIGINT, SIGHUP) stay blocked while a request runs
// and are taken only in ppoll() between requests, so they never interrupt a
// response.
#include "Worker.h"

#include <fcntl.h>
#include <libqvp/DataRoot.h>
#include <libqvp/FileDescriptor.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CountedOutput.h"
#include "ErrorReply.h"
#include "HandlerTable.h"
#include "LogRateLimit.h"
#include "PoolLog.h"
#include "ProcessMemory.h"
#include "ProcessState.h"
#include "RequestMap.h"
#include "RootPath.h"
#include "ScgiRequest.h"
#include "SharedCounters.h"

#ifndef QVP_VERSION
#define QVP_VERSION "0"
#endif

namespace libqvp {
namespace {

// The dispatcher's version text: the pool answers exactly as the CGI path.
constexpr const char* kVersion = "qvp_dispatch/" QVP_VERSION;
// How long a write to a web server that stopped reading may block.
constexpr int kSendTimeoutSeconds = 60;
// How long a refused request's remaining input is read and dropped, so that
// closing with it unread does not reset the connection before the peer has
// read the refusal.
constexpr std::chrono::milliseconds kLinger{1000};
// At most this many lines a second about dropped requests; then one line
// with the count of those not logged.
constexpr size_t kDropLinesPerSecond = 5;
// A worker whose address space passes this share of its RLIMIT_AS (which the
// handler may set) retires before the next request fails on an allocation.
constexpr double kAddressSpaceShare = 0.75;

// stdout's buffer: a small response goes out in one write.
constexpr size_t kStdoutBuffer = 64 * 1024;

// The response kinds of requests that reach no handler: refused (by the
// mapping, or as malformed SCGI) and redirected.
constexpr const char* kErrorResponse = "error";
constexpr const char* kRedirectResponse = "redirect";

volatile sig_atomic_t g_stop = 0;
bool g_retire = false;          // see Pool::retire_after_request()
bool g_in_worker = false;       // see Pool::in_worker()
uint64_t g_request_number = 0;  // see Pool::request_number()
// Where Pool::count_cache() counts: the worker's slot, with metrics on.
SharedCounters* g_counters = nullptr;
size_t g_slot = 0;

extern "C" void on_stop_signal(int) { g_stop = 1; }

std::string base_name(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Empty unless this process's address space (read from `statm_fd`, its
// /proc/self/statm) is near the limit that RLIMIT_AS sets; then the reason
// to retire.
std::string address_space_exhausted(int statm_fd) {
  struct rlimit limit {};
  if (statm_fd < 0 || getrlimit(RLIMIT_AS, &limit) != 0 ||
      limit.rlim_cur == RLIM_INFINITY)
    return "";
  const long used = read_process_memory(statm_fd).address_space;
  const long cap = static_cast<long>(limit.rlim_cur >> 20);
  if (used < static_cast<long>(kAddressSpaceShare * static_cast<double>(cap)))
    return "";
  return "its address space (" + std::to_string(used) +
         " MiB) is near its limit (" + std::to_string(cap) + " MiB)";
}

// Reads and drops what the peer still sends, for at most kLinger.
void linger(int fd) {
  shutdown(fd, SHUT_WR);
  const auto deadline = std::chrono::steady_clock::now() + kLinger;
  char sink[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    struct pollfd p = {fd, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0 ||
        read(fd, sink, sizeof sink) <= 0)
      return;
  }
}

// The response kind that a handler's command line asks for: the word after
// "-o" or "--view=" (das, dds, ddx, DataDDS, Version, html, csv, catalog and
// whatever the mapping adds); "error" when it names none.
std::string response_kind(const std::vector<std::string>& argv) {
  for (size_t i = 1; i < argv.size(); ++i) {
    if (argv[i] == "-o" && i + 1 < argv.size()) return argv[i + 1];
    if (argv[i].compare(0, 7, "--view=") == 0) return argv[i].substr(7);
  }
  return kErrorResponse;
}

std::string own_program() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

class Worker {
 public:
  Worker(const Pool::Options& options, EntryFunction entry, int listen_fd,
         SharedCounters* counters, size_t slot)
      : d_options(options),
        d_entry(entry),
        d_listen_fd(listen_fd),
        d_counters(counters),
        d_slot(slot) {
    d_timeout = options.timeout > 0 ? std::to_string(options.timeout) : "";
    const std::string exe = own_program();
    d_program_name = options.program.empty() ? base_name(exe) : options.program;
    d_handler_dir = options.handler_dir.empty()
                        ? exe.substr(0, exe.size() - base_name(exe).size() - 1)
                        : options.handler_dir;
    d_table = handler_table(options.config);
  }

  int run() {
    set_up_process();
    long served = 0;
    while (!g_stop &&
           (d_options.max_requests <= 0 || served < d_options.max_requests)) {
      struct pollfd p = {d_listen_fd, POLLIN, 0};
      struct timespec wait {};
      const bool report = until_drop_report(wait);
      const int ready = ppoll(&p, 1, report ? &wait : nullptr, &d_wait_mask);
      report_held_back_drops();
      if (ready < 0) {
        if (errno == EINTR) continue;
        pool_log(std::string("poll failed: ") + strerror(errno));
        return 1;
      }
      if (ready == 0) continue;
      const int conn = accept4(d_listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (conn < 0) continue;  // another worker took it, or it went away
      serve(conn);
      ++served;
      const std::string reason =
          g_retire ? "a request met an allocation or library failure"
                   : address_space_exhausted(d_statm.get());
      if (!reason.empty()) {
        pool_log("retires after request " + std::to_string(served) + ": " +
                 reason);
        report_held_back_drops();
        return kWorkerRetired;
      }
    }
    report_held_back_drops();
    return 0;
  }

 private:
  void set_up_process() {
    g_in_worker = true;
    become_worker_log(getppid());
#ifdef __linux__
    prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
    const int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
    dup2(null_fd, STDIN_FILENO);
    dup2(null_fd, STDOUT_FILENO);
    if (null_fd > STDOUT_FILENO) close(null_fd);
    d_statm.reset(open("/proc/self/statm", O_RDONLY | O_CLOEXEC));
    // Fully buffered whatever fd 1 was at start-up (a terminal, say).
    setvbuf(stdout, nullptr, _IOFBF, kStdoutBuffer);
    // A peer that goes away mid-response makes the write fail with EPIPE.
    signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaction(s, &sa, nullptr);
    sigset_t block;
    sigemptyset(&block);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&block, s);
    sigprocmask(SIG_BLOCK, &block, &d_wait_mask);
    // What each request starts from, and gets back after it.
    d_state.save_standard_output();
    d_state.save_working_directory();
    d_state.save_signal_handlers();
    d_state.save_actions(ProcessState::standard_signals());
    d_state.save_signal_mask();
    d_state.make_outermost();
    // Pool::run made the root a real path: resolved once, here.
    remember_data_root(d_options.root, d_options.root);
    if (d_counters) {
      d_counted = std::make_unique<CountedOutput>(kStdoutBuffer);
      g_counters = d_counters;
      g_slot = d_slot;
    }
  }

  // A request variable from the SCGI headers, or configuration from the
  // pool's own command line; null for anything else.
  const char* lookup(const ScgiRequest& request, const char* name) const {
    if (strcmp(name, DataRoot::kVariable) == 0) return d_options.root.c_str();
    if (strcmp(name, "QVP_HANDLER_DIR") == 0) return d_handler_dir.c_str();
    if (strcmp(name, "QVP_TIMEOUT") == 0)
      return d_timeout.empty() ? nullptr : d_timeout.c_str();
    if (strcmp(name, "QVP_CONFIG") == 0)
      return d_options.config.empty() ? nullptr : d_options.config.c_str();
    return is_request_variable(name) ? request.get(name) : nullptr;
  }

  // Serves the request on `conn` and, with metrics on, counts it.
  // The count is made before the connection is closed, so that a client
  // that has read its whole reply finds it counted. The counted stream stays
  // stdout until the state is restored, so that an alarm handler built on
  // it gives it up rather than closing it.
  void serve(int conn) {
    const auto start = std::chrono::steady_clock::now();
    ++g_request_number;
    if (d_counted) {
      d_response = kErrorResponse;
      d_counted->begin();
    }
    answer(conn);
    if (d_counted) {
      d_counted->flush();
      const auto took = std::chrono::duration_cast<std::chrono::nanoseconds>(
          std::chrono::steady_clock::now() - start);
      d_counters->count_request(d_slot, d_response, d_counted->status(),
                                d_counted->bytes(),
                                static_cast<uint64_t>(took.count()));
    }
    restore(conn);
    if (d_counted) d_counted->end();
  }

  // Reads the request on `conn` and writes its response.
  void answer(int conn) {
    const struct timeval send_limit = {kSendTimeoutSeconds, 0};
    setsockopt(conn, SOL_SOCKET, SO_SNDTIMEO, &send_limit, sizeof send_limit);
    dup2(conn, 1);
    try {
      const ScgiRequest request =
          ScgiRequest::read(conn, d_options.read_timeout * 1000);
      call_handler(request);
    } catch (const ScgiError& e) {
      log_drop(e.what());
      if (e.can_reply) {
        write_refusal(
            stdout,
            e.status == 413
                ? Refusal{413, "Request Entity Too Large", usage_error,
                          "Request body too large"}
                : Refusal{400, "Bad Request", usage_error, "Malformed request"},
            kVersion);
        linger(conn);
      }
    } catch (const Refusal& r) {
      if (r.status < 400) d_response = kRedirectResponse;
      write_refusal(stdout, r, kVersion);
    } catch (const std::exception& e) {
      pool_log(std::string("a request failed: ") + e.what());
    } catch (...) {
      pool_log("a request failed with an unknown exception");
    }
  }

  void log_drop(const char* reason) {
    const auto now = LogRateLimit::Clock::now();
    report_held_back_drops();
    if (d_drops.admit(now))
      pool_log(std::string("dropped a request: ") + reason);
  }

  void report_held_back_drops() {
    if (const size_t n = d_drops.held_back(LogRateLimit::Clock::now()))
      pool_log(std::to_string(n) + " more dropped requests were not logged");
  }

  // True when held-back drops are to be reported, with `wait` set to the
  // time until then.
  bool until_drop_report(struct timespec& wait) const {
    const auto due = d_drops.report_due();
    if (due == LogRateLimit::Clock::time_point::max()) return false;
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          due - LogRateLimit::Clock::now())
                          .count();
    const long long ns = left > 0 ? left : 0;
    wait.tv_sec = static_cast<time_t>(ns / 1000000000);
    wait.tv_nsec = static_cast<long>(ns % 1000000000);
    return true;
  }

  // The handler table, read once per worker (so a SIGHUP restart rereads
  // it). Empty when the file is malformed: each request then reads it again
  // and is answered with the mapping's 500, as on the CGI path.
  static std::optional<HandlerTable> handler_table(const std::string& path) {
    if (path.empty()) return HandlerTable::builtin();
    try {
      return HandlerTable::load(path);
    } catch (const HandlerTable::ParseError&) {
      return std::nullopt;
    }
  }

  void call_handler(const ScgiRequest& request) {
    const EnvLookup env = [&](const char* name) {
      return lookup(request, name);
    };
    const HandlerCall call = d_table ? map_request(env, kVersion, *d_table)
                                     : map_request(env, kVersion);
    if (d_counted) d_response = response_kind(call.argv);
    if (base_name(call.program) != d_program_name)
      throw Refusal{404, "Not Found", no_such_data_set,
                    "No handler for this data set in this server"};
    std::vector<std::string> args = call.argv;
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    errno = 0;  // as in a fresh process, whatever the mapping left
    d_entry(static_cast<int>(args.size()), argv.data());
  }

  // Puts back what the request may have changed; see the file's comment.
  // The connection is closed first, so the client does not wait for the
  // rest.
  void restore(int conn) {
    d_state.restore_output();
    close(conn);
    if (!d_state.restore()) pool_log("cannot return to its working directory");
  }

  const Pool::Options& d_options;
  EntryFunction d_entry;
  LogRateLimit d_drops{kDropLinesPerSecond, std::chrono::seconds(1)};
  std::optional<HandlerTable> d_table;
  int d_listen_fd;
  std::string d_timeout;
  std::string d_program_name;
  std::string d_handler_dir;
  FileDescriptor d_statm;      // /proc/self/statm, or none
  sigset_t d_wait_mask{};      // the mask in ppoll(): pool signals let in
  ProcessState d_state;        // as each request finds the process
  SharedCounters* d_counters;  // with metrics on, else null
  size_t d_slot;               // this worker's in d_counters
  std::unique_ptr<CountedOutput> d_counted;  // stdout while counting
  std::string d_response;  // the response kind of the request in progress
};

}  // namespace

void Pool::retire_after_request() { g_retire = true; }

bool Pool::in_worker() { return g_in_worker; }

uint64_t Pool::request_number() { return g_request_number; }

void Pool::count_cache(const char* cache, bool hit) {
  if (g_counters && cache) g_counters->count_cache(g_slot, cache, hit);
}

int run_worker(const Pool::Options& options, EntryFunction entry, int listen_fd,
               SharedCounters* counters, size_t slot) {
  Worker w(options, entry, listen_fd, counters, slot);
  return w.run();
}

}  // namespace libqvp
