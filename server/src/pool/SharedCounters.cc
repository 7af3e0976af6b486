#include "SharedCounters.h"

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

namespace libqvp {
namespace {

using Counter = std::atomic<uint64_t>;
static_assert(Counter::is_always_lock_free &&
                  std::atomic<uint32_t>::is_always_lock_free &&
                  std::atomic<int32_t>::is_always_lock_free,
              "the counters are shared between processes without locks");

constexpr uint32_t kFree = 0, kClaimed = 1, kPublished = 2;
constexpr int32_t kOtherStatus = -2;
constexpr const char* kOther = "other";

void add(Counter& c, uint64_t n) { c.fetch_add(n, std::memory_order_relaxed); }

uint64_t get(const Counter& c) { return c.load(std::memory_order_relaxed); }

}  // namespace

// One label value. A worker claims a free entry, writes the text and then
// publishes it; readers see only published entries. Two workers that meet
// the same new value at once may publish it twice: the snapshot sums by
// text, so that only wastes an entry, as does one left claimed by a worker
// that died.
struct SharedCounters::Name {
  std::atomic<uint32_t> state;
  char text[kNameBytes];
};

struct SharedCounters::Slot {
  Counter requests[kResponses][kStatuses];
  Counter bytes[kResponses];
  Counter durations[kResponses][kDurationBuckets];
  Counter nanoseconds[kResponses];
  Counter cache_hits[kCaches];
  Counter cache_misses[kCaches];
};

struct SharedCounters::Region {
  Name responses[kResponses];
  Name caches[kCaches];
  std::atomic<int32_t> statuses[kStatuses];  // 0: free
};

// The slots follow the region in the mapping.
size_t SharedCounters::slots_offset() {
  return (sizeof(Region) + alignof(Slot) - 1) / alignof(Slot) * alignof(Slot);
}

SharedCounters::Slot& SharedCounters::slot(size_t i) const {
  return reinterpret_cast<Slot*>(reinterpret_cast<char*>(d_region) +
                                 slots_offset())[i];
}

namespace {

template <typename Name, size_t N>
const char* published(const Name (&names)[N], size_t i) {
  return names[i].state.load(std::memory_order_acquire) == kPublished
             ? names[i].text
             : nullptr;
}

// The index of `text` in `names`, published by this call if no entry has it;
// the last entry ("other") when all are taken.
template <typename Name, size_t N>
size_t intern(Name (&names)[N], std::string_view given) {
  const std::string_view text = given.substr(0, sizeof names[0].text - 1);
  for (size_t i = 0; i + 1 < N; ++i) {
    uint32_t state = names[i].state.load(std::memory_order_acquire);
    if (state == kPublished && text == names[i].text) return i;
    if (state != kFree || !names[i].state.compare_exchange_strong(
                              state, kClaimed, std::memory_order_acquire))
      continue;
    memcpy(names[i].text, text.data(), text.size());
    names[i].text[text.size()] = '\0';
    names[i].state.store(kPublished, std::memory_order_release);
    return i;
  }
  return N - 1;
}

template <typename Name, size_t N>
void publish_other(Name (&names)[N]) {
  memcpy(names[N - 1].text, kOther, strlen(kOther) + 1);
  names[N - 1].state.store(kPublished, std::memory_order_release);
}

size_t intern_status(std::atomic<int32_t> (&codes)[SharedCounters::kStatuses],
                     int32_t code) {
  for (size_t i = 0; i + 1 < SharedCounters::kStatuses; ++i) {
    int32_t seen = codes[i].load(std::memory_order_relaxed);
    if (seen == code) return i;
    if (seen == 0 && (codes[i].compare_exchange_strong(
                          seen, code, std::memory_order_relaxed) ||
                      seen == code))
      return i;
  }
  return SharedCounters::kStatuses - 1;
}

std::string status_text(int32_t code) {
  if (code == SharedCounters::kNoStatus) return "none";
  if (code == kOtherStatus) return kOther;
  return std::to_string(code);
}

size_t bucket_of(uint64_t nanoseconds) {
  const double seconds = static_cast<double>(nanoseconds) / 1e9;
  return static_cast<size_t>(std::lower_bound(kDurationBounds.begin(),
                                              kDurationBounds.end(), seconds) -
                             kDurationBounds.begin());
}

}  // namespace

SharedCounters::SharedCounters(size_t slots,
                               std::initializer_list<const char*> caches)
    : d_slots(slots) {
  d_bytes = slots_offset() + slots * sizeof(Slot);
  void* p = mmap(nullptr, d_bytes, PROT_READ | PROT_WRITE,
                 MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED)
    throw std::runtime_error(std::string("cannot map the shared counters: ") +
                             strerror(errno));
  // The mapping is zeroed: every counter 0 and every entry free.
  d_region = static_cast<Region*>(p);
  publish_other(d_region->responses);
  publish_other(d_region->caches);
  d_region->statuses[kStatuses - 1].store(kOtherStatus);
  for (const char* c : caches) intern(d_region->caches, c);
}

SharedCounters::~SharedCounters() { munmap(d_region, d_bytes); }

void SharedCounters::count_request(size_t index, std::string_view response,
                                   int status, uint64_t bytes,
                                   uint64_t nanoseconds) {
  if (index >= d_slots) return;
  Slot& s = this->slot(index);
  const size_t r = intern(d_region->responses, response);
  add(s.requests[r][intern_status(d_region->statuses, status)], 1);
  add(s.bytes[r], bytes);
  add(s.durations[r][bucket_of(nanoseconds)], 1);
  add(s.nanoseconds[r], nanoseconds);
}

void SharedCounters::count_cache(size_t index, std::string_view cache,
                                 bool hit) {
  if (index >= d_slots) return;
  Slot& s = this->slot(index);
  const size_t c = intern(d_region->caches, cache);
  add(hit ? s.cache_hits[c] : s.cache_misses[c], 1);
}

MetricsSnapshot SharedCounters::snapshot() const {
  MetricsSnapshot m;
  const Region& region = *d_region;
  for (size_t c = 0; c < kCaches; ++c) {
    const char* name = published(region.caches, c);
    if (name == nullptr) continue;
    MetricsSnapshot::CacheCounts counts;
    for (size_t i = 0; i < d_slots; ++i) {
      counts.hits += get(slot(i).cache_hits[c]);
      counts.misses += get(slot(i).cache_misses[c]);
    }
    // A named cache is listed from the start, "other" once it counts.
    if (c + 1 < kCaches || counts.hits + counts.misses > 0) {
      m.caches[name].hits += counts.hits;
      m.caches[name].misses += counts.misses;
    }
  }
  for (size_t r = 0; r < kResponses; ++r) {
    const char* name = published(region.responses, r);
    if (name == nullptr) continue;
    for (size_t i = 0; i < d_slots; ++i) {
      const Slot& s = slot(i);
      for (size_t st = 0; st < kStatuses; ++st)
        if (const uint64_t n = get(s.requests[r][st]))
          m.requests[{name, status_text(region.statuses[st].load(
                                std::memory_order_relaxed))}] += n;
      uint64_t seen = 0;
      std::array<uint64_t, kDurationBuckets> buckets;
      for (size_t b = 0; b < kDurationBuckets; ++b)
        seen += buckets[b] = get(s.durations[r][b]);
      if (seen == 0) continue;
      auto& d = m.durations[name];
      for (size_t b = 0; b < kDurationBuckets; ++b) d.buckets[b] += buckets[b];
      d.nanoseconds += get(s.nanoseconds[r]);
      m.bytes[name] += get(s.bytes[r]);
    }
  }
  return m;
}

}  // namespace libqvp
