#include "LogRateLimit.h"

namespace libqvp {

bool LogRateLimit::admit(Clock::time_point now) {
  if (d_admitted == 0 || now >= d_start + d_window) {
    d_start = now;
    d_admitted = 0;
  }
  if (d_admitted < d_lines) {
    ++d_admitted;
    return true;
  }
  ++d_held;
  return false;
}

size_t LogRateLimit::held_back(Clock::time_point now) {
  if (d_held == 0 || now < d_start + d_window) return 0;
  const size_t n = d_held;
  d_held = 0;
  return n;
}

LogRateLimit::Clock::time_point LogRateLimit::report_due() const {
  return d_held > 0 ? d_start + d_window : Clock::time_point::max();
}

}  // namespace libqvp
