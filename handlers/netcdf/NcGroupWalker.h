// Walks the group tree of a netCDF-4 file within fixed bounds, so that a
// hostile file with groups nested without end or by the thousand gets an
// error instead of costing unbounded time and memory.
#ifndef QVP_NC_NCGROUPWALKER_H
#define QVP_NC_NCGROUPWALKER_H

#include <cstddef>
#include <string>
#include <vector>

namespace libqvp {

class NcGroupWalker {
 public:
  static constexpr int kMaxDepth = 32;        // levels below the root group
  static constexpr size_t kMaxGroups = 1000;  // groups in one file

  // The child groups of `ncid`, which lies `depth` levels below the root, in
  // the file's order. Throws Error(internal_error) when a child would lie
  // deeper than kMaxDepth, when this walker has now been given more than
  // kMaxGroups groups in all, or when netCDF fails.
  std::vector<int> children(int ncid, int depth);

 private:
  size_t d_seen = 0;
};

// The name of group `ncid` (its last path component). Throws
// Error(internal_error) when netCDF fails.
std::string group_name(int ncid);

}  // namespace libqvp

#endif  // QVP_NC_NCGROUPWALKER_H
