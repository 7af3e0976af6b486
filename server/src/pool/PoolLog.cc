#include "PoolLog.h"

#include <unistd.h>

#include "../cgi_dates.h"
#include "RequestText.h"

namespace libqvp {
namespace {

pid_t g_master = 0;  // 0: this process is the master
pid_t g_worker = 0;  // this worker's pid; 0 in the master

void error_log_line(const std::string& message) {
  pool_log("QVP server error: " + message);
}

}  // namespace

std::string pool_log_line(time_t now, pid_t master, pid_t worker,
                          const std::string& message) {
  struct tm tm {};
  char stamp[32] = "time() error";
  if (gmtime_r(&now, &tm) != nullptr)
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  std::string line =
      "[" + std::string(stamp) + "] qvp pool[" + std::to_string(master) + "]";
  if (worker != 0) line += " worker " + std::to_string(worker);
  line += ": ";
  static const char kHex[] = "0123456789abcdef";
  for (const unsigned char c : message) {
    if (c == '\n') {
      line += "\n    ";
    } else if (is_control_byte(c) && c != '\t') {
      line += "\\x";
      line += kHex[c >> 4];
      line += kHex[c & 15];
    } else {
      line += static_cast<char>(c);
    }
  }
  return line + "\n";
}

void pool_log(const std::string& message) {
  const std::string line =
      g_worker != 0 ? pool_log_line(time(nullptr), g_master, g_worker, message)
                    : pool_log_line(time(nullptr), getpid(), 0, message);
  ssize_t ignored = write(2, line.data(), line.size());
  (void)ignored;
}

void become_worker_log(pid_t master) {
  g_master = master;
  g_worker = getpid();
  set_error_log_writer(error_log_line);
}

}  // namespace libqvp
