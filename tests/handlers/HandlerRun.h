// Running a program with arguments and collecting its output, for tests
// that drive the handler through its command line.
#ifndef QVP_TEST_HANDLERRUN_H
#define QVP_TEST_HANDLERRUN_H

#include <string>
#include <vector>

namespace libqvp {
namespace test {

struct RunResult {
  std::string out;  // everything written to stdout
  std::string err;  // everything written to stderr
  int status = -1;  // exit status; 128 + signal number when killed
};

// Runs `program` with `args` (argv[0] is `program`), stdin empty, and waits
// for it. Aborts the test program when it cannot be started.
RunResult run_program(const std::string& program,
                      const std::vector<std::string>& args);

// `response` with the values of its "Date: " and "Last-Modified: " header
// lines replaced by "<date>".
std::string without_dates(const std::string& response);

// The big-endian bytes of an XDR length or 4-byte integer, a Float32 and a
// Float64; a string with its length and padding.
std::string xdr_u32(unsigned v);
std::string xdr_f32(float v);
std::string xdr_f64(double v);
std::string xdr_str(const std::string& s);

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_HANDLERRUN_H
