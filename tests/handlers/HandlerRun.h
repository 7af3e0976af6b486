// Running a program with arguments and collecting its output, for tests
// that drive the handler through its command line.
#ifndef QVP_TEST_HANDLERRUN_H
#define QVP_TEST_HANDLERRUN_H

#include <initializer_list>
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

// The 200 header block of a handler run with "-v t/1", dates as "<date>".
std::string header(const char* description, const char* type = "text/plain");

// XDR bodies: an array's count written twice; 4-byte integers, Float32 and
// Float64 values one after another.
std::string counts(unsigned n);
std::string ints(std::initializer_list<int> values);
std::string floats(std::initializer_list<float> values);
std::string doubles(std::initializer_list<double> values);

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_HANDLERRUN_H
