// Process running and XDR helpers for the handler tests.
#include "HandlerRun.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>

namespace libqvp {
namespace test {

RunResult run_program(const std::string& program,
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

RunResult run_handler(const std::vector<std::string>& args) {
  return run_program(QVP_NC_HANDLER, args);
}

std::string ncgen(const TempDir& dir, const std::string& name,
                  const std::string& cdl, const char* kind) {
  const std::string nc = dir / (name + ".nc");
  const RunResult r = run_program(
      QVP_NCGEN, {"-k", kind, "-o", nc, dir.write(name + ".cdl", cdl)});
  EXPECT_EQ(r.status, 0) << r.err;
  return nc;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string golden(const std::string& name) {
  const std::string text = read_file(QVP_TEST_DATA_DIR "/" + name);
  EXPECT_FALSE(text.empty()) << name;
  return text;
}

std::string golden(const std::string& name, const std::string& key) {
  const std::string text = "\n" + golden(name), mark = "\n== " + key + "\n";
  const size_t at = text.find(mark);
  if (at == std::string::npos) ADD_FAILURE() << "no section " << key;
  if (at == std::string::npos) return "";
  const size_t begin = at + mark.size(), end = text.find("\n== ", begin);
  return text.substr(begin, end == std::string::npos ? end : end + 1 - begin);
}

std::string without_dates(const std::string& response) {
  static const std::regex kDate("(Date|Last-Modified): [^\r]*\r\n");
  return std::regex_replace(response, kDate, "$1: <date>\r\n");
}

std::string body(const std::string& response) {
  const size_t at = response.find("\r\n\r\n");
  return at == std::string::npos ? response : response.substr(at + 4);
}

std::string header(const char* description, const char* type) {
  return std::string("HTTP/1.0 200 OK\r\n") +
         "XVORN-Server: t/1\r\nXKestrum-Server: t/1\r\nXQVP: 3.1\r\n"
         "Date: <date>\r\nLast-Modified: <date>\r\nContent-Type: " +
         type + "\r\nContent-Description: " + description + "\r\n\r\n";
}

std::string be(uint64_t v, size_t width) {
  std::string s;
  for (size_t i = width; i-- > 0;) s.push_back(static_cast<char>(v >> 8 * i));
  return s;
}

std::string xdr_u32(unsigned v) { return be(v, 4); }

std::string xdr_f32(float v) {
  uint32_t u;
  memcpy(&u, &v, 4);
  return be(u, 4);
}

std::string xdr_f64(double v) {
  uint64_t u;
  memcpy(&u, &v, 8);
  return be(u, 8);
}

std::string xdr_str(const std::string& s) {
  return xdr_u32(static_cast<unsigned>(s.size())) + s +
         std::string((4 - s.size() % 4) % 4, '\0');
}

std::string counts(unsigned n) { return xdr_u32(n) + xdr_u32(n); }

template <class T, class Put>
std::string each(std::initializer_list<T> values, Put put) {
  std::string s;
  for (T v : values) s += put(v);
  return s;
}

std::string ints(std::initializer_list<int> values) {
  return each(values, [](int v) { return xdr_u32(static_cast<unsigned>(v)); });
}
std::string floats(std::initializer_list<float> v) { return each(v, xdr_f32); }
std::string doubles(std::initializer_list<double> v) {
  return each(v, xdr_f64);
}

}  // namespace test
}  // namespace libqvp
