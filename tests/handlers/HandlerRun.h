// Running qvp_nc_handler and ncgen, and the bytes that the handler tests
// compare responses with. Each test program includes this once; it brings
// gtest, netCDF and the standard strings and vectors along.
#ifndef QVP_TEST_HANDLERRUN_H
#define QVP_TEST_HANDLERRUN_H

#include <gtest/gtest.h>
#include <netcdf.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <regex>
#include <string>
#include <vector>

#include "TempDir.h"

namespace libqvp {
namespace test {

struct RunResult {
  std::string out, err;  // everything written to stdout and stderr
  int status;            // exit status; 128 + signal number when killed
};

// "" when `path` cannot be read.
inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs `program` with `args` through the shell, stdin empty, and waits for
// it. Aborts the test program when the shell cannot be run.
inline RunResult run_program(const std::string& program,
                             const std::vector<std::string>& args) {
  static const TempDir dir;  // the last run's output
  auto quoted = [](const std::string& word) {
    return "'" + std::regex_replace(word, std::regex("'"), "'\\''") + "'";
  };
  std::string command = quoted(program);
  for (const std::string& a : args) command += " " + quoted(a);
  const int w = std::system(
      (command + " </dev/null >" + (dir / "out") + " 2>" + (dir / "err"))
          .c_str());
  if (w == -1 || !WIFEXITED(w)) abort();
  return {read_file(dir / "out"), read_file(dir / "err"), WEXITSTATUS(w)};
}

inline RunResult run_handler(const std::vector<std::string>& args) {
  return run_program(QVP_NC_HANDLER, args);
}

// Makes dir/name.nc of `kind` ("classic", "nc4") from `cdl` with ncgen and
// returns its path; a failure of ncgen fails the test.
inline std::string ncgen(const TempDir& dir, const std::string& name,
                         const std::string& cdl, const char* kind = "nc4") {
  const std::string nc = dir / (name + ".nc");
  const RunResult r = run_program(
      QVP_NCGEN, {"-k", kind, "-o", nc, dir.write(name + ".cdl", cdl)});
  EXPECT_EQ(r.status, 0) << r.err;
  return nc;
}

// Fails the test unless a netCDF call's `status` is NC_NOERR.
inline void nc_ok(int status) {
  EXPECT_EQ(status, NC_NOERR) << nc_strerror(status);
}

// The file data/<name>; with `key`, its section that follows the line
// "== <key>", up to the next such line.
inline std::string golden(const std::string& name) {
  return read_file(QVP_TEST_DATA_DIR "/" + name);
}
inline std::string golden(const std::string& name, const std::string& key) {
  const std::string text = "\n" + golden(name), mark = "\n== " + key + "\n";
  const size_t at = text.find(mark);
  if (at == std::string::npos) ADD_FAILURE() << "no section " << key;
  if (at == std::string::npos) return "";
  const size_t begin = at + mark.size(), end = text.find("\n== ", begin);
  return text.substr(begin, end == std::string::npos ? end : end + 1 - begin);
}

// What follows the header block of `response` (all of it when it has none).
inline std::string body(const std::string& response) {
  const size_t at = response.find("\r\n\r\n");
  return at == std::string::npos ? response : response.substr(at + 4);
}

// `v` big-endian in `width` bytes.
inline std::string be(uint64_t v, size_t width) {
  std::string s;
  for (size_t i = width; i-- > 0;) s.push_back(static_cast<char>(v >> 8 * i));
  return s;
}

// XDR: a 4-byte integer, a Float32, a Float64, a string with its length and
// padding; an array's count written twice; values one after another.
inline std::string xdr_u32(unsigned v) { return be(v, 4); }
template <class Bits, class F>
std::string xdr_bits(F v) {
  Bits u;
  memcpy(&u, &v, sizeof u);
  return be(u, sizeof u);
}
inline std::string xdr_f32(float v) { return xdr_bits<uint32_t>(v); }
inline std::string xdr_f64(double v) { return xdr_bits<uint64_t>(v); }
inline std::string xdr_str(const std::string& s) {
  return xdr_u32(static_cast<unsigned>(s.size())) + s +
         std::string((4 - s.size() % 4) % 4, '\0');
}
inline std::string counts(unsigned n) { return xdr_u32(n) + xdr_u32(n); }
template <class T, class Put>
std::string each(std::initializer_list<T> values, Put put) {
  std::string s;
  for (T v : values) s += put(v);
  return s;
}
inline std::string ints(std::initializer_list<int> v) {
  return each(v, [](int i) { return xdr_u32(static_cast<unsigned>(i)); });
}
inline std::string floats(std::initializer_list<float> v) {
  return each(v, xdr_f32);
}
inline std::string doubles(std::initializer_list<double> v) {
  return each(v, xdr_f64);
}

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_HANDLERRUN_H
