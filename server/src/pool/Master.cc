// Signals reach the master's loop through a self-pipe: the handlers only
// write the signal number, and the loop (poll on the pipe, with a time-out
// for pending respawns and the drain's bound) does the work.
#include "Master.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "MetricsEndpoint.h"
#include "PoolLog.h"
#include "ProcessMemory.h"
#include "SharedCounters.h"
#include "Worker.h"

namespace libqvp {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
// A worker that dies sooner than this after its start is replaced only
// after kRespawnPause.
constexpr milliseconds kQuickDeath{200};
constexpr milliseconds kRespawnPause{500};
// How often the workers' resident sizes are read (with --max-rss).
constexpr milliseconds kMemoryCheck{1000};

int g_signal_pipe[2] = {-1, -1};

extern "C" void on_master_signal(int signum) {
  const int saved = errno;
  const unsigned char b = static_cast<unsigned char>(signum);
  ssize_t ignored = write(g_signal_pipe[1], &b, 1);
  (void)ignored;
  errno = saved;
}

// The label of qvp_worker_restarts_total for a worker that ended with
// `status` on its own.
const char* restart_cause(int status) {
  if (WIFSIGNALED(status)) return "crash";
  switch (WEXITSTATUS(status)) {
    case 0:
      return "recycled";
    case 1:
      return "time_limit";
    case kWorkerRetired:
      return "memory";
    default:
      return "crash";
  }
}

std::string death_cause(int status) {
  if (WIFSIGNALED(status)) {
    const int s = WTERMSIG(status);
    return "was killed by signal " + std::to_string(s) + " (" + strsignal(s) +
           ")";
  }
  const int code = WEXITSTATUS(status);
  if (code == 1) return "exited with status 1 (time limit or failure)";
  return "exited with status " + std::to_string(code);
}

class Master {
 public:
  Master(const Pool::Options& options, EntryFunction entry, int listen_fd,
         int metrics_fd)
      : d_options(options), d_entry(entry), d_listen_fd(listen_fd) {
    if (metrics_fd >= 0)
      d_metrics = std::make_unique<MetricsEndpoint>(
          metrics_fd, [this] { return metrics_text(); });
  }

  int run() {
    if (pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
      pool_log(std::string("pipe: ") + strerror(errno));
      return 2;
    }
    if (d_metrics) {
      try {
        d_counters = std::make_unique<SharedCounters>(
            static_cast<size_t>(d_options.workers),
            std::initializer_list<const char*>{Pool::kAggregationIndexCache,
                                               Pool::kOpenFilesCache,
                                               Pool::kResponseBodiesCache});
      } catch (const std::runtime_error& e) {
        pool_log(e.what());
        return 2;
      }
    }
    struct sigaction sa {};
    sa.sa_handler = on_master_signal;
    sa.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigemptyset(&sa.sa_mask);
    for (int s : kSignals) sigaction(s, &sa, nullptr);
    d_slots.resize(static_cast<size_t>(d_options.workers));
    for (size_t i = 0; i < d_slots.size(); ++i) spawn(i);
    pool_log("serving " + d_options.address + " with " +
             std::to_string(d_options.workers) + " workers" +
             (d_options.max_rss > 0
                  ? ", each replaced past " +
                        std::to_string(d_options.max_rss) + " MiB resident"
                  : std::string()) +
             (d_metrics
                  ? "; metrics at http://" + d_options.metrics + "/metrics"
                  : std::string()));
    d_memory_check = Clock::now() + kMemoryCheck;
    while (!d_stopping || !d_workers.empty()) {
      if (d_stopping && Clock::now() >= d_drain_deadline) kill_stragglers();
      wait_for_event();
      handle_signals();
      if (d_metrics) d_metrics->step();
      check_memory();
      respawn_due();
    }
    pool_log("stopped");
    return 0;
  }

 private:
  static constexpr int kSignals[] = {SIGCHLD, SIGTERM, SIGINT, SIGHUP};

  struct Slot {
    pid_t pid = 0;
    Clock::time_point started;
    Clock::time_point respawn_at;
    bool vacant = false;
  };

  // The master's signals are blocked across fork(): a SIGTERM sent to the
  // new worker before it has put back the default actions would otherwise
  // run the master's handler in the child (a byte on the master's pipe),
  // and the worker would never stop. The child unblocks them once the
  // defaults are back, so a pending SIGTERM ends it.
  void spawn(size_t slot) {
    sigset_t block, previous;
    sigemptyset(&block);
    for (int s : kSignals) sigaddset(&block, s);
    sigprocmask(SIG_BLOCK, &block, &previous);
    const pid_t pid = fork();
    if (pid == 0) {
      struct sigaction dfl {};
      dfl.sa_handler = SIG_DFL;
      for (int s : kSignals) sigaction(s, &dfl, nullptr);
      sigprocmask(SIG_SETMASK, &previous, nullptr);
      close(g_signal_pipe[0]);
      close(g_signal_pipe[1]);
      if (d_metrics) d_metrics->close_all();
      _exit(
          run_worker(d_options, d_entry, d_listen_fd, d_counters.get(), slot));
    }
    const int fork_errno = errno;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (pid < 0) {
      pool_log(std::string("fork: ") + strerror(fork_errno));
      d_slots[slot].vacant = true;
      d_slots[slot].respawn_at = Clock::now() + kRespawnPause;
      return;
    }
    d_slots[slot] = Slot{pid, Clock::now(), {}, false};
    d_workers[pid] = slot;
  }

  void wait_for_event() {
    int timeout = -1;
    const auto now = Clock::now();
    auto consider = [&](Clock::time_point t) {
      const auto ms =
          std::chrono::duration_cast<milliseconds>(t - now).count() + 1;
      const int m = ms < 0 ? 0 : static_cast<int>(ms);
      if (timeout < 0 || m < timeout) timeout = m;
    };
    if (d_stopping) consider(d_drain_deadline);
    if (!d_stopping && d_options.max_rss > 0) consider(d_memory_check);
    for (const Slot& s : d_slots)
      if (s.vacant && !d_stopping) consider(s.respawn_at);
    std::vector<struct pollfd> fds = {{g_signal_pipe[0], POLLIN, 0}};
    if (d_metrics) {
      d_metrics->add_poll_fds(fds);
      const auto due = d_metrics->next_deadline();
      if (due != MetricsEndpoint::Clock::time_point::max()) consider(due);
    }
    poll(fds.data(), fds.size(), timeout);
  }

  // The text of a scrape: the workers' counts, and the master's own.
  std::string metrics_text() const {
    MetricsSnapshot m = d_counters->snapshot();
    for (const Slot& s : d_slots)
      if (s.pid > 0) ++m.workers;
    m.restarts = d_restarts;
    return m.text();
  }

  void handle_signals() {
    unsigned char buf[64];
    ssize_t n;
    while ((n = read(g_signal_pipe[0], buf, sizeof buf)) > 0) {
      for (ssize_t i = 0; i < n; ++i) {
        if (buf[i] == SIGCHLD) reap();
        if (buf[i] == SIGHUP && !d_stopping) restart();
        if ((buf[i] == SIGTERM || buf[i] == SIGINT) && !d_stopping) drain();
      }
    }
    reap();  // a SIGCHLD may have coalesced with one already handled
  }

  void reap() {
    int status = 0;
    pid_t pid;
    while ((pid = waitpid(-1, &status, WNOHANG)) > 0) {
      const auto w = d_workers.find(pid);
      if (w == d_workers.end()) continue;
      const size_t slot = w->second;
      d_workers.erase(w);
      const bool current = slot < d_slots.size() && d_slots[slot].pid == pid;
      // A worker that retired on its own ended as cleanly as one recycled.
      const bool clean =
          WIFEXITED(status) &&
          (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == kWorkerRetired);
      if (!clean)
        pool_log("worker " + std::to_string(pid) + " " + death_cause(status));
      else if (current && !d_stopping)
        pool_log("worker " + std::to_string(pid) + " recycled");
      if (!current || d_stopping) continue;
      ++d_restarts[restart_cause(status)];
      Slot& s = d_slots[slot];
      s.vacant = true;
      s.pid = 0;
      s.respawn_at = Clock::now() - s.started < kQuickDeath && !clean
                         ? Clock::now() + kRespawnPause
                         : Clock::now();
    }
  }

  void respawn_due() {
    if (d_stopping) return;
    const auto now = Clock::now();
    for (size_t i = 0; i < d_slots.size(); ++i)
      if (d_slots[i].vacant && d_slots[i].respawn_at <= now) spawn(i);
  }

  // The old workers finish their request and exit; their slots are taken
  // by new workers at once, so the pool keeps serving.
  void restart() {
    pool_log("restarting the workers");
    for (size_t i = 0; i < d_slots.size(); ++i) replace(i, "reload");
  }

  // As restart(), for the one worker of `slot`, counted as a restart for
  // `cause`.
  void replace(size_t slot, const char* cause) {
    if (d_slots[slot].pid > 0) {
      ++d_restarts[cause];
      kill(d_slots[slot].pid, SIGTERM);
      d_slots[slot].pid = 0;  // no longer current: its death is not replaced
    }
    spawn(slot);
  }

  // Replaces each worker whose resident size has passed --max-rss: memory
  // that the libraries keep for good (netCDF-4 files, through HDF5, keep
  // some of every open) is given back this way.
  void check_memory() {
    if (d_stopping || d_options.max_rss <= 0) return;
    const auto now = Clock::now();
    if (now < d_memory_check) return;
    d_memory_check = now + kMemoryCheck;
    for (size_t i = 0; i < d_slots.size(); ++i) {
      const pid_t pid = d_slots[i].pid;
      const long rss = pid > 0 ? process_memory(pid).resident : -1;
      if (rss <= d_options.max_rss) continue;
      pool_log("worker " + std::to_string(pid) + " is replaced: " +
               std::to_string(rss) + " MiB resident, over --max-rss " +
               std::to_string(d_options.max_rss) + " MiB");
      replace(i, "memory");
    }
  }

  void drain() {
    d_stopping = true;
    d_drain_deadline =
        Clock::now() + std::chrono::seconds(d_options.drain_timeout);
    pool_log("draining " + std::to_string(d_workers.size()) + " workers");
    for (const auto& w : d_workers) kill(w.first, SIGTERM);
  }

  void kill_stragglers() {
    for (const auto& w : d_workers) {
      pool_log("worker " + std::to_string(w.first) +
               " did not finish in time; killing it");
      kill(w.first, SIGKILL);
    }
    d_drain_deadline = Clock::now() + std::chrono::seconds(5);
  }

  const Pool::Options& d_options;
  EntryFunction d_entry;
  int d_listen_fd;
  std::vector<Slot> d_slots;
  std::map<pid_t, size_t> d_workers;  // every live worker, old ones too
  std::unique_ptr<MetricsEndpoint> d_metrics;  // with --metrics
  std::unique_ptr<SharedCounters> d_counters;  // with --metrics
  std::map<std::string, uint64_t> d_restarts;  // by cause
  bool d_stopping = false;
  Clock::time_point d_drain_deadline;
  Clock::time_point d_memory_check;
};

}  // namespace

int run_master(const Pool::Options& options, EntryFunction entry, int listen_fd,
               int metrics_fd) {
  Master m(options, entry, listen_fd, metrics_fd);
  return m.run();
}

}  // namespace libqvp
