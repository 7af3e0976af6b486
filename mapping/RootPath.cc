// One body for the rule "inside the data root": every caller resolves real
// paths with real_path and compares them with is_inside.
#include "RootPath.h"

#include <libqvp/DataRoot.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace libqvp {

std::string real_path(const std::string& name) {
  if (name.empty()) return "";
  std::unique_ptr<char, decltype(&free)> r(realpath(name.c_str(), nullptr),
                                           &free);
  return r ? std::string(r.get()) : std::string();
}

bool is_inside(const std::string& real_root, const std::string& real) {
  if (real_root.empty() || real.empty()) return false;
  const std::string prefix = real_root == "/" ? "/" : real_root + "/";
  return real == real_root || real.compare(0, prefix.size(), prefix) == 0;
}

namespace {

// What remember_data_root() was told; both empty until then.
struct KnownRoot {
  std::string configured;
  std::string real;
};

KnownRoot& known_root() {
  static KnownRoot known;
  return known;
}

// What walk_below() learnt of a name below a real root.
enum class Walk { resolved, missing, undecided };

// Resolves `rel` below `real_root` by lstat of each prefix in turn, when
// that is all realpath would learn: every component a plain name (not empty,
// "." or ".."), none a link. Then the real path is `real_root` + "/" + `rel`
// and `st` is the last lstat (as stat, the last component not being a link):
// one system call per component below the root, where realpath pays one per
// component of the whole path and a stat besides. A missing component or a
// file where a directory should be is `missing`, as realpath would fail;
// anything else (a link, a dot, an error such as EACCES) is `undecided`, for
// realpath to settle.
Walk walk_below(const std::string& real_root, const std::string& rel,
                std::string& real, struct stat& st) {
  if (rel.empty()) return Walk::undecided;
  real = real_root == "/" ? "" : real_root;
  std::string::size_type start = 0;
  while (start <= rel.size()) {
    std::string::size_type end = rel.find('/', start);
    if (end == std::string::npos) end = rel.size();
    const std::string::size_type n = end - start;
    if (n == 0 || (n == 1 && rel[start] == '.') ||
        (n == 2 && rel.compare(start, 2, "..") == 0))
      return Walk::undecided;
    real.push_back('/');
    real.append(rel, start, n);
    if (lstat(real.c_str(), &st) != 0)
      return errno == ENOENT || errno == ENOTDIR ? Walk::missing
                                                 : Walk::undecided;
    if (S_ISLNK(st.st_mode)) return Walk::undecided;
    start = end + 1;
  }
  return Walk::resolved;
}

// `name` below `real_root`, as the relative name walk_below() takes; false
// when `name` does not begin with the root and a '/'.
bool below_root(const std::string& real_root, const std::string& name,
                std::string& rel) {
  const std::string::size_type n = real_root == "/" ? 0 : real_root.size();
  if (name.size() <= n + 1 || name.compare(0, n, real_root, 0, n) != 0 ||
      name[n] != '/')
    return false;
  rel.assign(name, n + 1, std::string::npos);
  return true;
}

}  // namespace

void remember_data_root(const std::string& configured,
                        const std::string& real) {
  known_root() = {configured, real};
}

std::string real_root(const std::string& root) {
  const KnownRoot& known = known_root();
  if (!known.configured.empty() && known.configured == root) return known.real;
  return real_path(root);
}

std::string data_root_of(const std::string& dataset) {
  const char* configured = getenv(DataRoot::kVariable);
  if (configured != nullptr && *configured != '\0')
    return real_root(configured);
  const std::string::size_type slash = dataset.rfind('/');
  if (slash == std::string::npos) return real_path(".");
  return real_path(slash == 0 ? "/" : dataset.substr(0, slash));
}

// Most names asked about do not exist (ancillary candidates): one stat
// answers those, before the system call per path component that resolving a
// real path costs.
bool holds_file(const std::string& real_root, const std::string& name) {
  struct stat st {};
  if (real_root.empty() || stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return false;
  std::string rel;
  std::string real;
  if (below_root(real_root, name, rel) &&
      walk_below(real_root, rel, real, st) == Walk::resolved)
    return true;
  return is_inside(real_root, real_path(name));
}

std::string resolve_in_root(const std::string& real_root,
                            const std::string& rel, struct stat& st) {
  if (real_root.empty()) return "";
  std::string walked;
  switch (walk_below(real_root, rel, walked, st)) {
    case Walk::resolved:
      return walked;
    case Walk::missing:
      return "";
    case Walk::undecided:
      break;
  }
  const std::string real = real_path(real_root + "/" + rel);
  if (!is_inside(real_root, real) || stat(real.c_str(), &st) != 0) return "";
  return real;
}

}  // namespace libqvp
