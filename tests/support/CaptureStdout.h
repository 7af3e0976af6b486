// Captures what is written to file descriptor 1 (stdout, through C stdio or
// anything else) while the object is active.
#ifndef QVP_TEST_CAPTURESTDOUT_H
#define QVP_TEST_CAPTURESTDOUT_H

#include <string>

namespace libqvp {
namespace test {

class CaptureStdout {
 public:
  // Flushes stdout and points descriptor 1 at a temporary file.
  CaptureStdout();
  // Restores descriptor 1 if finish() was not called.
  ~CaptureStdout();
  CaptureStdout(const CaptureStdout&) = delete;
  CaptureStdout& operator=(const CaptureStdout&) = delete;

  // Flushes stdout, restores descriptor 1 and returns every byte captured.
  // Call once.
  std::string finish();

 private:
  void restore();

  int d_saved_fd = -1;
  int d_capture_fd = -1;
};

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_CAPTURESTDOUT_H
