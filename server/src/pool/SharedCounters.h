// The counts that the workers make and the master reads, in one anonymous
// shared mapping that the master makes before it forks: a table of label
// values (response kinds, HTTP statuses, cache names), filled by whichever
// worker meets a value first, and a slot of counters per worker. Every
// field is a lock-free atomic, changed with relaxed order: no locks, and a
// worker that dies mid-update loses at most that one count. A slot is never
// cleared: the worker that replaces another goes on adding to its counts
// (while the one it replaced may still finish a request there), so that no
// counter ever goes down.
#ifndef QVP_POOL_SHAREDCOUNTERS_H
#define QVP_POOL_SHAREDCOUNTERS_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "MetricsSnapshot.h"

namespace libqvp {

class SharedCounters {
 public:
  // Distinct values of each label; a value beyond them counts as "other".
  static constexpr size_t kResponses = 24;
  static constexpr size_t kStatuses = 24;
  static constexpr size_t kCaches = 16;
  static constexpr size_t kNameBytes = 32;  // longer values are cut

  // The status of a request for which nothing was written.
  static constexpr int kNoStatus = -1;

  // Maps the region for `slots` workers; throws std::runtime_error when the
  // mapping cannot be made. Each of `caches` is listed (with 0 counts) from
  // the start.
  SharedCounters(size_t slots, std::initializer_list<const char*> caches);
  // Unmaps the region (in this process only).
  ~SharedCounters();
  SharedCounters(const SharedCounters&) = delete;
  SharedCounters& operator=(const SharedCounters&) = delete;

  // Counts one request in `slot`: its response kind, the HTTP status written
  // (kNoStatus for none), the bytes written and its duration.
  void count_request(size_t slot, std::string_view response, int status,
                     uint64_t bytes, uint64_t nanoseconds);
  // Counts one lookup of cache `cache` in `slot`, a hit or a miss.
  // Neither allocates nor throws.
  void count_cache(size_t slot, std::string_view cache, bool hit);

  // The sums over every slot (the counter families of a snapshot; the
  // master adds the workers and the restarts).
  MetricsSnapshot snapshot() const;

 private:
  struct Name;
  struct Slot;
  struct Region;

  static size_t slots_offset();
  Slot& slot(size_t index) const;

  Region* d_region = nullptr;
  size_t d_bytes = 0;
  size_t d_slots = 0;
};

}  // namespace libqvp

#endif  // QVP_POOL_SHAREDCOUNTERS_H
