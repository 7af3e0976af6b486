#include "MetricsSnapshot.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

namespace libqvp {
namespace {

std::string escaped(const std::string& value) {
  std::string out;
  for (const char c : value) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '"')
      out += "\\\"";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

// `name="value"` pairs, comma-separated, in braces; "" for none.
std::string labels(
    std::initializer_list<std::pair<const char*, std::string>> pairs) {
  std::string out;
  for (const auto& [name, value] : pairs)
    out += (out.empty() ? "{" : ",") + std::string(name) + "=\"" +
           escaped(value) + "\"";
  return out.empty() ? out : out + "}";
}

// The shortest text that reads back as `v`, without an exponent where
// "%g" can do without one ("0.005", "10", "2.5e-05").
std::string number(double v) {
  char buf[32];
  for (int digits = 1; digits <= 17; ++digits) {
    snprintf(buf, sizeof buf, "%.*g", digits, v);
    const bool needless_exponent =
        strchr(buf, 'e') != nullptr && v >= 1 && v < 1e15;
    if (!needless_exponent && strtod(buf, nullptr) == v) break;
  }
  return buf;
}

void family(std::string& out, const char* name, const char* type,
            const char* help) {
  out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " +
         type + "\n";
}

void sample(std::string& out, const std::string& name,
            const std::string& label_text, const std::string& value) {
  out += name + label_text + " " + value + "\n";
}

void histogram(std::string& out, const std::string& response,
               const MetricsSnapshot::Durations& d) {
  const char* name = "qvp_request_duration_seconds";
  uint64_t total = 0;
  for (size_t i = 0; i < kDurationBuckets; ++i) {
    total += d.buckets[i];
    const std::string le =
        i < kDurationBounds.size() ? number(kDurationBounds[i]) : "+Inf";
    sample(out, std::string(name) + "_bucket",
           labels({{"response", response}, {"le", le}}), std::to_string(total));
  }
  const std::string l = labels({{"response", response}});
  sample(out, std::string(name) + "_sum", l,
         number(static_cast<double>(d.nanoseconds) / 1e9));
  sample(out, std::string(name) + "_count", l, std::to_string(total));
}

}  // namespace

std::string MetricsSnapshot::text() const {
  std::string out;
  family(out, "qvp_requests_total", "counter",
         "Requests answered, by response kind and HTTP status.");
  for (const auto& [key, n] : requests)
    sample(out, "qvp_requests_total",
           labels({{"response", key.first}, {"status", key.second}}),
           std::to_string(n));
  family(out, "qvp_request_duration_seconds", "histogram",
         "Time from accepting a request to closing its connection.");
  for (const auto& [response, d] : durations) histogram(out, response, d);
  family(out, "qvp_response_bytes_total", "counter",
         "Bytes written to the web server, headers included.");
  for (const auto& [response, n] : bytes)
    sample(out, "qvp_response_bytes_total", labels({{"response", response}}),
           std::to_string(n));
  family(out, "qvp_workers", "gauge", "Workers serving requests.");
  sample(out, "qvp_workers", "", std::to_string(workers));
  family(out, "qvp_worker_restarts_total", "counter",
         "Workers replaced, by cause.");
  for (const char* cause : kRestartCauses) {
    const auto n = restarts.find(cause);
    sample(out, "qvp_worker_restarts_total", labels({{"cause", cause}}),
           std::to_string(n == restarts.end() ? 0 : n->second));
  }
  family(out, "qvp_cache_hits_total", "counter",
         "Lookups answered from a worker's cache.");
  for (const auto& [cache, c] : caches)
    sample(out, "qvp_cache_hits_total", labels({{"cache", cache}}),
           std::to_string(c.hits));
  family(out, "qvp_cache_misses_total", "counter",
         "Lookups a worker's cache could not answer.");
  for (const auto& [cache, c] : caches)
    sample(out, "qvp_cache_misses_total", labels({{"cache", cache}}),
           std::to_string(c.misses));
  return out;
}

}  // namespace libqvp
