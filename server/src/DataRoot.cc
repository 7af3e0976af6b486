// Resolving the data root and testing what lies inside it. Real paths are
// compared, so links and ".." inside a name count where they lead.
#include <libqvp/DataRoot.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>

namespace libqvp {

std::string DataRoot::real_path(const std::string& name) {
  if (name.empty()) return "";
  std::unique_ptr<char, decltype(&free)> r(realpath(name.c_str(), nullptr),
                                           &free);
  return r ? std::string(r.get()) : std::string();
}

std::string DataRoot::of(const std::string& dataset) {
  const char* configured = getenv(kVariable);
  if (configured != nullptr && *configured != '\0')
    return real_path(configured);
  const std::string::size_type slash = dataset.rfind('/');
  if (slash == std::string::npos) return real_path(".");
  return real_path(slash == 0 ? "/" : dataset.substr(0, slash));
}

// Most names asked about do not exist (ancillary candidates): one stat
// answers those, before the system call per path component that resolving a
// real path costs.
bool DataRoot::holds(const std::string& root, const std::string& name) {
  struct stat st {};
  if (root.empty() || stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return false;
  const std::string real = real_path(name);
  const std::string prefix = root == "/" ? "/" : root + "/";
  return !real.empty() && real.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace libqvp
