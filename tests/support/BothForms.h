// One harness for writers that come in a FILE* and a std::ostream form: the
// same call runs once on each, recording the bytes and the flush points.
#ifndef QVP_TEST_BOTHFORMS_H
#define QVP_TEST_BOTHFORMS_H

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "DateText.h"
#include "FlushRecorder.h"

namespace libqvp {
namespace test {

// What one call wrote through each form (passed through the normaliser) and
// the size written at each flush.
struct Written {
  std::string file_bytes, stream_bytes;
  std::vector<size_t> file_flushes, stream_flushes;
};

// Calls `send(FILE*)` on a RecordingFile, then `send(std::ostream&)` on a
// stream over a SyncRecordingBuf; `send` is usually a generic lambda. The
// bytes of each form go through `normalise` (by default the Date line is
// made comparable). Bytes written before an exception in `send` are lost
// with the exception, so a `send` that is expected to throw catches inside.
template <class Send, class Normalise = std::string (*)(const std::string&)>
Written run_both(Send&& send, Normalise normalise = &normalize_date) {
  Written w;
  RecordingFile file;
  send(file.get());
  w.file_flushes = file.flushes();
  w.file_bytes = normalise(file.drain());
  SyncRecordingBuf buf;
  std::ostream out(&buf);
  send(out);
  w.stream_flushes = buf.syncs();
  w.stream_bytes = normalise(buf.str());
  return w;
}

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_BOTHFORMS_H
