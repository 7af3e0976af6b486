// Makes the data set an NcML document describes: reads the document, finds
// and checks the members, joins them, applies the edits. What it read is
// kept as dependencies, so that the result can be kept until one changes.
#ifndef QVP_NC_NCMLBUILDER_H
#define QVP_NC_NCMLBUILDER_H

#include <string>
#include <vector>

#include "FileIdentity.h"
#include "VirtualDataSet.h"

namespace libqvp {

// A file or directory whose change makes a built data set stale: a file when
// its identity changes, a directory when its identity (its mtime among it)
// changes.
struct Dependency {
  std::string path;
  FileIdentity identity;
};

struct NcmlBuild {
  VirtualDataSet data;
  std::vector<Dependency> depends;  // documents and scanned directories
};

// Builds the data set of the document at `path` (a real path) whose members
// lie inside `root` (a real path). `build.depends` is filled as the build
// goes, also when it throws. Throws Error(internal_error) naming the document
// and place, or the member, the variable and the difference, for anything
// that cannot be served exactly as the document describes it.
void build_ncml(const std::string& path, const std::string& root,
                NcmlBuild& build);

}  // namespace libqvp

#endif  // QVP_NC_NCMLBUILDER_H
