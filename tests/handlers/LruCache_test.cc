// The bounded LRU map that a pool worker's caches are made of: what is
// dropped when a bound is passed, and that each bound holds on its own.
#include "LruCache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace libqvp {
namespace {

// One step: put `key` charged `bytes` (find it when bytes < 0); then the
// keys expected present, in any order.
struct Step {
  const char* key;
  int bytes;
};

struct Case {
  const char* what;
  size_t max_entries, max_bytes;
  std::vector<Step> steps;
  std::vector<const char*> kept, dropped;
};

// Keys are one byte long, so an entry's charge is its bytes + 1.
const Case kCases[] = {
    {"the count bound drops the least recently put",
     2,
     1000,
     {{"a", 9}, {"b", 9}, {"c", 9}},
     {"b", "c"},
     {"a"}},
    {"a lookup makes an entry the most recently used",
     2,
     1000,
     {{"a", 9}, {"b", 9}, {"a", -1}, {"c", 9}},
     {"a", "c"},
     {"b"}},
    {"the byte bound drops entries while far below the count bound",
     100,
     30,
     {{"a", 9}, {"b", 9}, {"c", 9}, {"d", 9}},
     {"b", "c", "d"},
     {"a"}},
    {"one large entry drops several small ones",
     100,
     28,
     {{"a", 4}, {"b", 4}, {"c", 4}, {"d", 24}},
     {"d"},
     {"a", "b", "c"}},
    {"an entry larger than the byte bound is not kept, nor its old value",
     100,
     30,
     {{"a", 4}, {"b", 4}, {"b", 40}},
     {"a"},
     {"b"}},
    {"putting a key again charges only its new value",
     100,
     30,
     {{"a", 14}, {"a", 14}, {"b", 14}},
     {"a", "b"},
     {}},
};

TEST(LruCacheTest, BoundsDropTheLeastRecentlyUsed) {
  for (const Case& c : kCases) {
    LruCache<int> cache(c.max_entries, c.max_bytes);
    int n = 0;
    for (const Step& s : c.steps) {
      if (s.bytes < 0)
        EXPECT_NE(cache.find(s.key), nullptr) << c.what;
      else
        cache.put(s.key, ++n, static_cast<size_t>(s.bytes));
      EXPECT_LE(cache.size(), c.max_entries) << c.what;
      EXPECT_LE(cache.bytes(), c.max_bytes) << c.what;
    }
    for (const char* k : c.kept) EXPECT_NE(cache.find(k), nullptr) << c.what;
    for (const char* k : c.dropped) EXPECT_EQ(cache.find(k), nullptr) << c.what;
    EXPECT_EQ(cache.size(), c.kept.size()) << c.what;
  }
}

TEST(LruCacheTest, ValuesAreThoseLastPutAndErasedOrClearedEntriesAreGone) {
  LruCache<std::string> cache(4, 1000);
  cache.put("a", "first", 5);
  cache.put("a", "second", 6);
  cache.put("b", "other", 5);
  ASSERT_NE(cache.find("a"), nullptr);
  EXPECT_EQ(*cache.find("a"), "second");
  EXPECT_EQ(cache.bytes(), 6U + 1 + 5 + 1);
  cache.erase("a");
  EXPECT_EQ(cache.find("a"), nullptr);
  EXPECT_EQ(cache.bytes(), 6U);
  cache.clear();
  EXPECT_EQ(cache.find("b"), nullptr);
  EXPECT_EQ(cache.bytes(), 0U);
}

}  // namespace
}  // namespace libqvp
