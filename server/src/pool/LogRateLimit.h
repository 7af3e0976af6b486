// Bounds the rate of one kind of log line, so that a flood of events (a
// scanner's dropped connections) costs a few lines a second, and then one
// line that counts what was not written.
#ifndef QVP_POOL_LOGRATELIMIT_H
#define QVP_POOL_LOGRATELIMIT_H

#include <chrono>
#include <cstddef>

namespace libqvp {

class LogRateLimit {
 public:
  using Clock = std::chrono::steady_clock;

  // At most `lines` lines in any `window` that starts at an admitted line.
  LogRateLimit(size_t lines, Clock::duration window)
      : d_lines(lines), d_window(window) {}

  // Whether a line may be written at `now`; a line that may not is counted.
  // A caller reports held_back(now) first, or the count waits for the end
  // of the window that `now` starts.
  bool admit(Clock::time_point now);

  // The count of lines held back, once the window in which they were held
  // back has ended by `now` (the count is then reset); 0 otherwise.
  size_t held_back(Clock::time_point now);

  // When held_back() will give a count; Clock::time_point::max() when no
  // line is held back.
  Clock::time_point report_due() const;

 private:
  size_t d_lines;
  Clock::duration d_window;
  Clock::time_point d_start{};  // of the current window
  size_t d_admitted = 0;        // in the current window
  size_t d_held = 0;
};

}  // namespace libqvp

#endif  // QVP_POOL_LOGRATELIMIT_H
