// The metadata response bodies (DAS, DDS, DDX and the data set's page) that
// a pool worker keeps between requests, keyed by everything a body is made
// from: the response kind, the data set's path and identity (device, inode,
// size, modification and change times), the constraint, the URL (which the
// DDX and the page's links state), the path and identity of each ancillary
// file that goes into it and, for the page, of each user-supplied document
// it shows. The key is made anew at every request (a stat of the data set,
// the ancillary lookup, the documents' lookup), so a changed file, or an
// ancillary file or document added or removed, makes another key and the
// body is made from disk. Headers are not kept: they are made per request
// (Date, Last-Modified, 304). Bounded in count and in bytes. NcML documents
// are left out: their data set depends on files the key does not name. Off
// unless enabled.
#ifndef QVP_NC_RESPONSEBODIES_H
#define QVP_NC_RESPONSEBODIES_H

#include <libqvp/BrowserView.h>
#include <libqvp/cgi_util.h>

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>

#include "NcFilter.h"

namespace libqvp {

class ResponseBodies {
 public:
  ResponseBodies() = delete;

  enum Kind { das, dds, ddx, page };

  // What a body of `kind` for f's request is made from, as it is now.
  struct Sources {
    std::string key;
    ObjectType type;       // for the header writer
    time_t last_modified;  // as the library dates this response
  };

  // The sources of f's `kind` response; none when bodies are not kept (not
  // enabled, an NcML document, a data set that is not a regular file, a
  // page without the `view` that makes it). `view` is read for a page only.
  // Never throws but std::bad_alloc.
  static std::optional<Sources> sources(const NcFilter& f, Kind kind,
                                        const BrowserView* view = nullptr);

  // The body kept under `key`, or null; valid until the next put(). Counts
  // the lookup as the cache Pool::kResponseBodiesCache.
  static const std::string* find(const std::string& key);

  // Keeps `body` under `key` (not when it alone passes kMaxBytes).
  static void put(const std::string& key, std::string body);

  // Turns keeping bodies on (a pool worker, at its first request).
  static void enable();

  // The bounds: bodies kept, and the sum of their sizes and keys' sizes.
  static constexpr size_t kMaxBodies = 256;
  static constexpr size_t kMaxBytes = size_t{16} << 20;
};

}  // namespace libqvp

#endif  // QVP_NC_RESPONSEBODIES_H
