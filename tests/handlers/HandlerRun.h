// Running qvp_nc_handler and ncgen, and the bytes that the handler tests
// compare responses with.
#ifndef QVP_TEST_HANDLERRUN_H
#define QVP_TEST_HANDLERRUN_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "TempDir.h"

namespace libqvp {
namespace test {

struct RunResult {
  std::string out, err;  // everything written to stdout and stderr
  int status;            // exit status; 128 + signal number when killed
};

// Runs `program` with `args` through the shell, stdin empty, and waits for
// it. Aborts the test program when the shell cannot be run.
RunResult run_program(const std::string& program,
                      const std::vector<std::string>& args);
RunResult run_handler(const std::vector<std::string>& args);
// Makes dir/name.nc of `kind` ("classic", "nc4") from `cdl` with ncgen and
// returns its path; a failure of ncgen fails the test.
std::string ncgen(const TempDir& dir, const std::string& name,
                  const std::string& cdl, const char* kind = "nc4");
std::string read_file(const std::string& path);  // "" when unreadable
// The file data/<name>; with `key`, its section that follows the line
// "== <key>", up to the next such line.
std::string golden(const std::string& name);
std::string golden(const std::string& name, const std::string& key);

// `response` with the values of its "Date: " and "Last-Modified: " header
// lines replaced by "<date>".
std::string without_dates(const std::string& response);
// What follows the header block of `response` (all of it when it has none).
std::string body(const std::string& response);
// The 200 header block of a handler run with "-v t/1", dates as "<date>".
std::string header(const char* description, const char* type = "text/plain");

// `v` big-endian in `width` bytes. XDR: a 4-byte integer, a Float32, a
// Float64, a string with its length and padding; an array's count written
// twice; values one after another.
std::string be(uint64_t v, size_t width);
std::string xdr_u32(unsigned v);
std::string xdr_f32(float v);
std::string xdr_f64(double v);
std::string xdr_str(const std::string& s);
std::string counts(unsigned n);
std::string ints(std::initializer_list<int> values);
std::string floats(std::initializer_list<float> values);
std::string doubles(std::initializer_list<double> values);

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_HANDLERRUN_H
