// Process running and XDR helpers for the handler tests.
#include "HandlerRun.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>

namespace libqvp {
namespace test {
namespace {

std::string slurp(FILE* f) {
  std::string s;
  rewind(f);
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  fclose(f);
  return s;
}

}  // namespace

RunResult run_program(const std::string& program,
                      const std::vector<std::string>& args) {
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  if (out == nullptr || err == nullptr) abort();
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) abort();
  if (pid == 0) {
    const int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
      argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  RunResult r;
  r.status =
      WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  r.out = slurp(out);
  r.err = slurp(err);
  return r;
}

std::string without_dates(const std::string& response) {
  static const std::regex kDate("(Date|Last-Modified): [^\r]*\r\n");
  return std::regex_replace(response, kDate, "$1: <date>\r\n");
}

std::string xdr_u32(unsigned v) {
  const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 8), static_cast<char>(v)};
  return std::string(b, 4);
}

std::string xdr_f32(float v) {
  unsigned u;
  memcpy(&u, &v, 4);
  return xdr_u32(u);
}

std::string xdr_f64(double v) {
  unsigned long long u;
  memcpy(&u, &v, 8);
  return xdr_u32(static_cast<unsigned>(u >> 32)) +
         xdr_u32(static_cast<unsigned>(u));
}

std::string xdr_str(const std::string& s) {
  return xdr_u32(static_cast<unsigned>(s.size())) + s +
         std::string((4 - s.size() % 4) % 4, '\0');
}

std::string header(const char* description, const char* type) {
  return std::string("HTTP/1.0 200 OK\r\n") +
         "XVORN-Server: t/1\r\nXKestrum-Server: t/1\r\nXQVP: 3.1\r\n"
         "Date: <date>\r\nLast-Modified: <date>\r\nContent-Type: " +
         type + "\r\nContent-Description: " + description + "\r\n\r\n";
}

std::string counts(unsigned n) { return xdr_u32(n) + xdr_u32(n); }

std::string ints(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += xdr_u32(static_cast<unsigned>(v));
  return s;
}

std::string floats(std::initializer_list<float> values) {
  std::string s;
  for (float v : values) s += xdr_f32(v);
  return s;
}

std::string doubles(std::initializer_list<double> values) {
  std::string s;
  for (double v : values) s += xdr_f64(v);
  return s;
}

}  // namespace test
}  // namespace libqvp
