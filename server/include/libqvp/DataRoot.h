// The directory tree whose files a request may read: the data root. Ancillary
// files, documents and override files are read only from inside it (ancillary
// files also from inside the directory that -d or the handler names, see
// Ancillary.h), so a link beside a data set cannot carry a response outside
// the tree.
#ifndef LIBQVP_DATAROOT_H
#define LIBQVP_DATAROOT_H

#include <string>

namespace libqvp {

class DataRoot {
 public:
  DataRoot() = delete;

  // The environment variable that names the data root of the process. The
  // dispatcher passes it on to the handler it runs; a resident server sets
  // it once at start-up.
  static constexpr const char* kVariable = "QVP_DATA_ROOT";

  // The real path of the data root for requests on `dataset`: the real path
  // of $QVP_DATA_ROOT when that is set and not empty, otherwise the real path
  // of the data set's own directory (the working directory for a name
  // without '/'). "" when it cannot be resolved: then no file is inside.
  // Never throws.
  static std::string of(const std::string& dataset);

  // True when `name` is a regular file (after following links) whose real
  // path lies inside `root`, a real path as of() returns it. Never throws.
  static bool holds(const std::string& root, const std::string& name);

  // The real path of `name`; "" when it cannot be resolved.
  static std::string real_path(const std::string& name);
};

}  // namespace libqvp

#endif  // LIBQVP_DATAROOT_H
