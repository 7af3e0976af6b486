// A least-recently-used map from string keys to values, bounded both in the
// number of entries and in the bytes they are charged: what a pool worker
// keeps between requests. Not thread-safe; a worker serves one request at a
// time.
#ifndef QVP_NC_LRUCACHE_H
#define QVP_NC_LRUCACHE_H

#include <cstddef>
#include <list>
#include <string>
#include <unordered_map>
#include <utility>

namespace libqvp {

template <class Value>
class LruCache {
 public:
  // Holds at most `max_entries` entries whose charges sum to at most
  // `max_bytes`.
  LruCache(size_t max_entries, size_t max_bytes)
      : d_max_entries(max_entries), d_max_bytes(max_bytes) {}

  // The value under `key`, made the most recently used; null when there is
  // none. Valid until the next put(), erase() or clear().
  Value* find(const std::string& key) {
    const auto at = d_index.find(key);
    if (at == d_index.end()) return nullptr;
    d_order.splice(d_order.begin(), d_order, at->second);
    return &at->second->value;
  }

  // Stores `value` under `key`, charged `bytes` plus the key's length, in
  // place of what was there; then drops the least recently used entries
  // until both bounds hold. A value that alone exceeds the byte bound is not
  // stored (what was under `key` is dropped all the same): false.
  bool put(const std::string& key, Value value, size_t bytes) {
    erase(key);
    const size_t charge = bytes + key.size();
    if (charge > d_max_bytes || d_max_entries == 0) return false;
    d_order.push_front(Entry{key, std::move(value), charge});
    d_index.emplace(key, d_order.begin());
    d_bytes += charge;
    while (d_order.size() > d_max_entries || d_bytes > d_max_bytes)
      drop(std::prev(d_order.end()));
    return true;
  }

  void erase(const std::string& key) {
    const auto at = d_index.find(key);
    if (at != d_index.end()) drop(at->second);
  }

  void clear() {
    d_index.clear();
    d_order.clear();
    d_bytes = 0;
  }

  size_t size() const { return d_order.size(); }
  // The sum of the entries' charges.
  size_t bytes() const { return d_bytes; }

 private:
  struct Entry {
    std::string key;
    Value value;
    size_t bytes;
  };
  using Position = typename std::list<Entry>::iterator;

  void drop(Position p) {
    d_bytes -= p->bytes;
    d_index.erase(p->key);
    d_order.erase(p);
  }

  size_t d_max_entries;
  size_t d_max_bytes;
  size_t d_bytes = 0;
  std::list<Entry> d_order;  // the most recently used first
  std::unordered_map<std::string, Position> d_index;
};

}  // namespace libqvp

#endif  // QVP_NC_LRUCACHE_H
