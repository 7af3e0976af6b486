// The pool's counts at one scrape, summed over the workers, and their text
// in the Prometheus exposition format (version 0.0.4).
#ifndef QVP_POOL_METRICSSNAPSHOT_H
#define QVP_POOL_METRICSSNAPSHOT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace libqvp {

// The upper bounds (seconds) of the request duration histogram's buckets;
// a last bucket, +Inf, follows them. Small DAS and DDS requests take under
// a millisecond in a worker, large data responses tens of seconds.
constexpr std::array<double, 15> kDurationBounds = {
    0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1,
    0.25,   0.5,   1,      2.5,   5,    10,    60};
constexpr size_t kDurationBuckets = kDurationBounds.size() + 1;

// The causes of a worker's replacement, as the label values of
// qvp_worker_restarts_total.
constexpr const char* kRestartCauses[] = {"crash", "time_limit", "memory",
                                          "recycled", "reload"};

struct MetricsSnapshot {
  struct Durations {
    // Requests per bucket (not cumulative); the last is +Inf.
    std::array<uint64_t, kDurationBuckets> buckets{};
    uint64_t nanoseconds = 0;  // their sum
  };
  struct CacheCounts {
    uint64_t hits = 0;
    uint64_t misses = 0;
  };

  // By (response, status), by response, by cache, by restart cause.
  std::map<std::pair<std::string, std::string>, uint64_t> requests;
  std::map<std::string, Durations> durations;
  std::map<std::string, uint64_t> bytes;
  std::map<std::string, CacheCounts> caches;
  std::map<std::string, uint64_t> restarts;
  int workers = 0;

  // The exposition text: each family's HELP and TYPE lines, then its
  // samples in label order; histogram buckets cumulative, with _sum (in
  // seconds) and _count. Label values are escaped (\\, \" and \n). Every
  // restart cause is listed, with 0 where none happened.
  std::string text() const;
};

}  // namespace libqvp

#endif  // QVP_POOL_METRICSSNAPSHOT_H
