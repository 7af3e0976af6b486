// One body for the rule "inside the data root": every caller resolves real
// paths with real_path and compares them with is_inside.
#include "RootPath.h"

#include <libqvp/DataRoot.h>

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
  return is_inside(real_root, real_path(name));
}

std::string resolve_in_root(const std::string& real_root,
                            const std::string& rel, struct stat& st) {
  if (real_root.empty()) return "";
  const std::string real = real_path(real_root + "/" + rel);
  if (!is_inside(real_root, real) || stat(real.c_str(), &st) != 0) return "";
  return real;
}

}  // namespace libqvp
