// The pool's front end: its command line, the controlled environment the
// workers run in, and the hand-over to the master.
#include <libqvp/DataRoot.h>
#include <libqvp/Pool.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "HandlerTable.h"
#include "RequestText.h"
#include "pool/Listener.h"
#include "pool/Master.h"
#include "pool/PoolLog.h"

namespace libqvp {
namespace {

// AddressSanitizer's shadow memory and quarantine make a worker's resident
// size several hundred MiB whatever it serves: no default bound there.
#ifdef QVP_UNDER_ASAN
constexpr long kParsedMaxRss = 0;
#else
constexpr long kParsedMaxRss = Pool::kDefaultMaxRss;
#endif

constexpr int kMaxWorkers = 1024;
constexpr int kMaxSeconds = 24 * 3600;
constexpr long kMaxRssMib = 1L << 20;
// What survives of the environment the pool was started with.
constexpr const char* kKeptVariables[] = {"PATH", "TZ", "ASAN_OPTIONS",
                                          "UBSAN_OPTIONS", "LSAN_OPTIONS"};

long parse_number(const std::string& option, const char* text, long low,
                  long high, int base = 10) {
  unsigned long v = 0;
  if (read_number(text, static_cast<unsigned long>(low),
                  static_cast<unsigned long>(high), v, base) != NumberText::ok)
    throw std::invalid_argument(
        option + " expects a number from " + std::to_string(low) + " to " +
        std::to_string(high) + ", got \"" + text + "\"");
  return static_cast<long>(v);
}

// Where handlers keep what they index (NcML documents), shared by the workers.
constexpr const char* kCacheDirVariable = "QVP_CACHE_DIR";

// `text` when it is a HOST:PORT address, which the metrics are served on.
std::string metrics_address(const std::string& text) {
  if (text.compare(0, 5, "unix:") == 0 || text == "systemd" ||
      text.rfind(':') == std::string::npos || text.back() == ':' ||
      text.front() == ':')
    throw std::invalid_argument("--metrics expects HOST:PORT, got \"" + text +
                                "\"");
  return text;
}

// The environment becomes kKeptVariables, the data root and the cache
// directory alone: nothing
// the pool was started with configures a request.
void control_environment(const std::string& root, const std::string& cache) {
  std::vector<std::pair<std::string, std::string>> kept;
  for (const char* name : kKeptVariables)
    if (const char* v = getenv(name)) kept.emplace_back(name, v);
  clearenv();
  for (const auto& k : kept) setenv(k.first.c_str(), k.second.c_str(), 1);
  setenv(DataRoot::kVariable, root.c_str(), 1);
  if (!cache.empty()) setenv(kCacheDirVariable, cache.c_str(), 1);
}

}  // namespace

bool Pool::requested(int argc, char* argv[]) {
  return argc > 1 && strcmp(argv[1], "--serve") == 0;
}

Pool::Options Pool::parse(int argc, char* argv[]) {
  Options o;
  o.max_rss = kParsedMaxRss;
  o.workers = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  if (o.workers < 1) o.workers = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string opt = argv[i];
    if (i + 1 >= argc)
      throw std::invalid_argument("unknown option or missing value: " + opt);
    const char* v = argv[++i];
    if (opt == "--serve")
      o.address = v;
    else if (opt == "--root")
      o.root = v;
    else if (opt == "--config")
      o.config = v;
    else if (opt == "--cache-dir")
      o.cache_dir = v;
    else if (opt == "--workers")
      o.workers = static_cast<int>(parse_number(opt, v, 1, kMaxWorkers));
    else if (opt == "--max-requests")
      o.max_requests = parse_number(opt, v, 0, 1L << 30);
    else if (opt == "--timeout")
      o.timeout = static_cast<int>(parse_number(opt, v, 0, kMaxSeconds));
    else if (opt == "--read-timeout")
      o.read_timeout = static_cast<int>(parse_number(opt, v, 1, 3600));
    else if (opt == "--drain-timeout")
      o.drain_timeout = static_cast<int>(parse_number(opt, v, 0, kMaxSeconds));
    else if (opt == "--socket-mode")
      o.socket_mode = static_cast<int>(parse_number(opt, v, 0, 0777, 8));
    else if (opt == "--max-rss")
      o.max_rss = parse_number(opt, v, 0, kMaxRssMib);
    else if (opt == "--metrics")
      o.metrics = metrics_address(v);
    else
      throw std::invalid_argument("unknown option: " + opt);
  }
  if (o.address.empty()) throw std::invalid_argument("--serve is required");
  if (o.root.empty()) throw std::invalid_argument("--root is required");
  return o;
}

int Pool::main(int argc, char* argv[], EntryFunction entry) {
  Options o;
  try {
    o = parse(argc, argv);
  } catch (const std::invalid_argument& e) {
    pool_log(std::string("bad command line: ") + e.what() +
             "\nusage: " + (argc > 0 ? argv[0] : "handler") +
             " --serve unix:PATH|HOST:PORT|systemd --root DIR [--workers N]"
             " [--max-requests M] [--timeout S] [--config FILE]"
             " [--read-timeout S] [--drain-timeout S] [--socket-mode OCTAL]"
             " [--max-rss MIB] [--metrics HOST:PORT] [--cache-dir DIR]");
    return 2;
  }
  return run(o, entry);
}

int Pool::run(const Options& given, EntryFunction entry) {
  struct stat st {};
  char* root = realpath(given.root.c_str(), nullptr);
  if (root == nullptr || stat(root, &st) != 0 || !S_ISDIR(st.st_mode)) {
    free(root);
    pool_log("the data root " + given.root + " is not a directory");
    return 2;
  }
  // Absolute, so that a handler that changes its directory still finds it.
  Options options = given;
  options.root = root;
  free(root);
  if (!options.config.empty()) {
    try {
      HandlerTable::load(options.config);
    } catch (const HandlerTable::ParseError& e) {
      pool_log("the handler table " + options.config +
               (e.line ? ":" + std::to_string(e.line) : std::string()) +
               " is malformed: " + e.message);
      return 2;
    }
  }
  int fd;
  try {
    fd = open_listener(options.address, options.socket_mode);
  } catch (const std::runtime_error& e) {
    pool_log(std::string("cannot listen: ") + e.what());
    return 2;
  }
  int metrics_fd = -1;
  if (!options.metrics.empty()) {
    try {
      metrics_fd = open_listener(options.metrics, -1);
    } catch (const std::runtime_error& e) {
      pool_log(std::string("cannot serve the metrics: ") + e.what());
      close(fd);
      remove_listener(options.address);
      return 2;
    }
  }
  control_environment(options.root, options.cache_dir);
  // A log reader that goes away must not kill the master.
  signal(SIGPIPE, SIG_IGN);
  const int status = run_master(options, entry, fd, metrics_fd);
  close(fd);
  remove_listener(options.address);
  return status;
}

}  // namespace libqvp
