// Outputs that remember where they were flushed, for checking the flush
// points of responses: a stringbuf that records its size at each sync(), and
// a memory FILE* (fopencookie) that records its size at each write-out.
#ifndef QVP_TEST_FLUSHRECORDER_H
#define QVP_TEST_FLUSHRECORDER_H

#include <cstddef>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace libqvp {
namespace test {

// A stream buffer that records the size of its contents at every sync(),
// which std::flush and ostream::flush() call.
class SyncRecordingBuf : public std::stringbuf {
 public:
  const std::vector<size_t>& syncs() const { return d_syncs; }

 protected:
  int sync() override {
    d_syncs.push_back(str().size());
    return 0;
  }

 private:
  std::vector<size_t> d_syncs;
};

// A fully buffered FILE* (1 MiB buffer) whose bytes reach bytes() only when
// it is flushed; every flush of a non-empty buffer appends the total size so
// far to flushes(). Closing it (fclose, or the destructor) sets closed().
class RecordingFile {
 public:
  RecordingFile();
  ~RecordingFile();  // fcloses the FILE* unless released or already closed
  RecordingFile(const RecordingFile&) = delete;
  RecordingFile& operator=(const RecordingFile&) = delete;

  FILE* get() const { return d_file; }
  // Stops the destructor from closing the FILE* (someone else owns it now).
  void release() { d_released = true; }

  const std::string& bytes() const { return d_bytes; }
  const std::vector<size_t>& flushes() const { return d_flushes; }
  bool closed() const { return d_closed; }

  // Flushes without recording the flush, and returns every byte written.
  const std::string& drain();

 private:
  static ssize_t on_write(void* cookie, const char* buf, size_t size);
  static int on_close(void* cookie);

  FILE* d_file = nullptr;
  std::string d_bytes;
  std::vector<size_t> d_flushes;
  bool d_closed = false;
  bool d_released = false;
  bool d_draining = false;
};

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_FLUSHRECORDER_H
