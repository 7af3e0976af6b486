// The members of an aggregation: the listed ones, then those each scan
// finds, every one a regular file whose real path lies inside the data root.
#ifndef QVP_NC_NCMLMEMBERS_H
#define QVP_NC_NCMLMEMBERS_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "FileIdentity.h"
#include "NcmlDocument.h"

namespace libqvp {

struct ResolvedMember {
  std::string path;     // real path
  std::string display;  // relative to the document's directory
  FileIdentity identity;
  bool listed = false;
  const NcmlMember* element = nullptr;  // the listing element, when listed
  std::optional<double> date;  // seconds since 1970, from dateFormatMark
};

// A directory a scan read; a changed mtime means its files may have changed.
struct ScannedDirectory {
  std::string path;
  FileIdentity identity;
};

// Most members an aggregation may have.
constexpr size_t kMaxMembers = 250000;

// Resolves the members of `agg` in `doc`, whose directory is `doc_dir` (a
// real path), inside `root` (a real path). Scanned files are taken in the
// byte order of their paths relative to the scan's directory, or of the date
// their names carry when the scan has a dateFormatMark (then by path among
// equal dates). Adds each directory a scan read to `dirs`. Throws
// Error(internal_error) naming the place in the document for an absolute
// path, a URL, a location outside the root or missing, a scan directory that
// cannot be read, a name without the date its mark promises, more than
// kMaxMembers members, or none at all.
std::vector<ResolvedMember> resolve_members(
    const NcmlAggregation& agg, const NcmlDocument& doc,
    const std::string& doc_dir, const std::string& root,
    std::vector<ScannedDirectory>& dirs);

// Reads the date that `mark` ("sst_#yyyyMMdd") promises in `file_name`:
// the text before '#' found literally, then the pattern's letters (yyyy MM
// dd HH mm ss, DDD for the day of the year) read from the characters after
// it. False when the name does not carry it.
bool date_from_name(const std::string& mark, const std::string& file_name,
                    double& seconds);

// The real path of `location` relative to `doc_dir`, checked to lie inside
// `root`; `directory` asks for a directory rather than a regular file.
// Throws Error(internal_error) with `where` before the reason.
std::string resolve_location(const std::string& location,
                             const std::string& doc_dir,
                             const std::string& root, bool directory,
                             const std::string& where);

}  // namespace libqvp

#endif  // QVP_NC_NCMLMEMBERS_H
