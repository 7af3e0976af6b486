// The resident prefork SCGI pool: a master process that listens, preforks
// workers and supervises them, and workers that each serve one request at a
// time by calling a handler's entry function in-process. A handler's main
// needs a few lines:
//
//   int main(int argc, char* argv[]) {
//     if (libqvp::Pool::requested(argc, argv))
//       return libqvp::Pool::main(argc, argv, my_handler_main);
//     return my_handler_main(argc, argv);
//   }
#ifndef LIBQVP_POOL_H
#define LIBQVP_POOL_H

#include <cstdint>
#include <string>

namespace libqvp {

// What a handler's main does for one request: serves the request that `argv`
// names (the request filter's command line), writing the whole response to
// stdout and flushing it before returning.
using EntryFunction = int (*)(int argc, char* argv[]);

class Pool {
 public:
  // The default of Options::max_rss: twenty times a worker's usual 12 MiB,
  // four times the 64 MiB that a large data response may take, a quarter of
  // the netCDF handler's 1 GiB address space (docs/deploying.md). A build
  // with AddressSanitizer parses no --max-rss as 0.
  static constexpr long kDefaultMaxRss = 256;

  // The pool's configuration; none of it ever comes from a request.
  struct Options {
    std::string address;    // "unix:PATH", "HOST:PORT" or "systemd"
    std::string root;       // the data root
    int workers = 0;        // 0: one per core
    long max_requests = 0;  // requests before a worker is recycled; 0: none
    int timeout = 0;        // a data response's time limit (s); 0: none
    std::string config;     // the mapping's configuration file, or ""
    // Where handlers keep their indexes (QVP_CACHE_DIR); "": their default.
    std::string cache_dir;
    std::string handler_dir;        // where the handler programs are; "": ours
    std::string program;            // the handler this pool stands for (a file
                                    // name the mapping gives); "": our own
    int read_timeout = 10;          // seconds to receive a whole SCGI request
    int drain_timeout = 30;         // seconds in-flight requests get at SIGTERM
    int socket_mode = -1;           // permissions of a Unix socket; -1: umask's
    long max_rss = kDefaultMaxRss;  // MiB of resident size past which the
                                    // master replaces a worker; 0: never
    std::string metrics;  // "HOST:PORT" where the master serves /metrics;
                          // "": no metrics, no counting
  };

  // The caches that count their lookups (count_cache), listed in /metrics
  // from the start: the netCDF handler's index of aggregated files, its open
  // files and its metadata response bodies.
  static constexpr const char* kAggregationIndexCache = "aggregation_index";
  static constexpr const char* kOpenFilesCache = "open_files";
  static constexpr const char* kResponseBodiesCache = "response_bodies";

  // True when `argv` asks for the pool: its first argument is "--serve".
  // Only there, so that a request's own words on a handler's command line
  // (a constraint "--serve" after -e) never start a pool.
  static bool requested(int argc, char* argv[]);

  // Parses the pool's command line:
  //   --serve ADDRESS --root DIR [--workers N] [--max-requests M]
  //   [--timeout S] [--config FILE] [--read-timeout S] [--drain-timeout S]
  //   [--socket-mode OCTAL] [--max-rss MIB] [--metrics HOST:PORT]
  //   [--cache-dir DIR]
  // Throws std::invalid_argument with a message naming the bad option.
  static Options parse(int argc, char* argv[]);

  // Runs the pool until SIGTERM or SIGINT and returns the exit status: 0
  // after a drain, 2 for a bad command line or an address (the pool's or
  // the metrics') that cannot be listened on (a message goes to stderr). Each
  // request's response is written by `entry`, called in a worker with stdout on
  // the connection.
  static int main(int argc, char* argv[], EntryFunction entry);

  // As main(), from parsed options.
  static int run(const Options& options, EntryFunction entry);

  // Asks that the calling worker be replaced once the request in progress is
  // answered: for a handler that met an allocation failure, or a failure of
  // a library whose state it no longer trusts. Outside a pool worker (a
  // one-request process) it does nothing that matters.
  static void retire_after_request();

  // True in a pool worker: a process that serves request after request, where
  // a handler may keep what it read between them.
  static bool in_worker();

  // In a pool worker, the number of the request in progress (1 for its
  // first): what a handler may keep for the length of one request is valid
  // while this stays the same. 0 outside a pool worker.
  static uint64_t request_number();

  // Counts a lookup in the cache named `cache` (kAggregationIndexCache, or
  // another short name) as a hit or a miss, for qvp_cache_hits_total and
  // qvp_cache_misses_total. Does nothing outside a pool worker or without
  // --metrics. Costs a few atomic additions; throws nothing.
  static void count_cache(const char* cache, bool hit);
};

}  // namespace libqvp

#endif  // LIBQVP_POOL_H
