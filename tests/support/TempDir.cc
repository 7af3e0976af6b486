#include "TempDir.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace libqvp {
namespace test {
namespace {

[[noreturn]] void die(const std::string& what) {
  perror(what.c_str());
  std::abort();
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  return ::remove(path);
}

void make_dirs(const std::string& path) {
  for (std::string::size_type i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    const std::string prefix = path.substr(0, i);
    if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST)
      die("mkdir " + prefix);
  }
}

}  // namespace

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string tmpl =
      std::string(base && *base ? base : "/tmp") + "/qvp_test_XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) die("mkdtemp");
  char* real = realpath(buf.data(), nullptr);
  if (real == nullptr) die("realpath");
  d_path = real;
  free(real);
}

TempDir::~TempDir() {
  if (!d_saved_cwd.empty() && chdir(d_saved_cwd.c_str()) != 0)
    perror("chdir back");
  nftw(d_path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string TempDir::operator/(const std::string& name) const {
  return d_path + "/" + name;
}

std::string TempDir::write(const std::string& name,
                           const std::string& bytes) const {
  const std::string full = *this / name;
  const std::string::size_type slash = full.rfind('/');
  make_dirs(full.substr(0, slash));
  FILE* f = fopen(full.c_str(), "wb");
  if (f == nullptr) die("fopen " + full);
  if (fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) die("fwrite");
  if (fclose(f) != 0) die("fclose");
  return full;
}

std::string TempDir::mkdir(const std::string& name) const {
  const std::string full = *this / name;
  make_dirs(full);
  return full;
}

void TempDir::set_mtime(const std::string& name, time_t t) {
  const struct timespec times[2] = {{t, 0}, {t, 0}};
  if (utimensat(AT_FDCWD, name.c_str(), times, 0) != 0)
    die("utimensat " + name);
}

void TempDir::enter() {
  if (d_saved_cwd.empty()) {
    char* cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) die("getcwd");
    d_saved_cwd = cwd;
    free(cwd);
  }
  if (chdir(d_path.c_str()) != 0) die("chdir " + d_path);
}

}  // namespace test
}  // namespace libqvp
