// Captures what a function writes to a FILE*, for comparing the FILE* and
// stream forms of a writer byte for byte.
#ifndef QVP_TEST_CAPTUREFILE_H
#define QVP_TEST_CAPTUREFILE_H

#include <cstdio>
#include <functional>
#include <string>

namespace libqvp {
namespace test {

// Runs `write` with a memory stream and returns every byte written to it.
// Exceptions from `write` pass through (the stream is closed first).
std::string capture_file(const std::function<void(FILE*)>& write);

// A FILE* reading `text`, for parsers that take a FILE*; the caller closes
// it with fclose.
FILE* file_reading(const std::string& text);

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_CAPTUREFILE_H
