#include "PoolLog.h"

#include <unistd.h>

#include <ctime>

namespace libqvp {

void pool_log(const std::string& message) {
  const time_t now = time(nullptr);
  struct tm tm {};
  gmtime_r(&now, &tm);
  char stamp[32];
  strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  const std::string line = "[" + std::string(stamp) + "] qvp pool[" +
                           std::to_string(getpid()) + "]: " + message + "\n";
  ssize_t ignored = write(2, line.data(), line.size());
  (void)ignored;
}

}  // namespace libqvp
