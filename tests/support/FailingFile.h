// An unbuffered FILE* whose writes fail on demand, for checking that a
// writer reports a failed write instead of losing bytes silently.
#ifndef QVP_TEST_FAILINGFILE_H
#define QVP_TEST_FAILINGFILE_H

#include <cstddef>
#include <cstdio>
#include <string>

namespace libqvp {
namespace test {

// Every fwrite reaches the file as one write call (no buffer). The write
// call numbered `failing_call` (1 for the first; 0 for none) fails with
// ENOSPC; the others succeed and append to bytes(). The destructor fcloses
// the FILE*.
class FailingFile {
 public:
  explicit FailingFile(size_t failing_call);
  ~FailingFile();
  FailingFile(const FailingFile&) = delete;
  FailingFile& operator=(const FailingFile&) = delete;

  FILE* get() const { return d_file; }
  const std::string& bytes() const { return d_bytes; }

 private:
  static ssize_t on_write(void* cookie, const char* buf, size_t size);

  FILE* d_file = nullptr;
  size_t d_failing_call;
  size_t d_calls = 0;
  std::string d_bytes;
};

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_FAILINGFILE_H
