// DataRoot is the library's face of the mapping's data root rules
// (mapping/RootPath.h), which the dispatcher, the pool and the catalogue
// keep to as well.
#include <libqvp/DataRoot.h>

#include "RootPath.h"

namespace libqvp {

std::string DataRoot::real_path(const std::string& name) {
  return libqvp::real_path(name);
}

std::string DataRoot::of(const std::string& dataset) {
  return data_root_of(dataset);
}

bool DataRoot::holds(const std::string& root, const std::string& name) {
  return holds_file(root, name);
}

}  // namespace libqvp
