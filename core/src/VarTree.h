// The operations on a tree of variables that the DDS, the Structures and
// Sequences and the constraint planner share: adopting a variable into a
// list of siblings, and finding the variable a dotted path names, by the one
// rule stated in DDS.h. Private to the core library.
#ifndef LIBQVP_SRC_VARTREE_H
#define LIBQVP_SRC_VARTREE_H

#include <libqvp/BaseType.h>
#include <libqvp/VarIterator.h>

#include <memory>
#include <string>
#include <vector>

namespace libqvp {
namespace vartree {

using VarList = std::vector<std::unique_ptr<BaseType>>;

// Adopts `v` into `vars` with `parent` as its parent (null for a top-level
// variable): a variable of the same name is replaced in place and
// destroyed, otherwise `v` is appended. Throws Error(internal_error) for
// null.
void adopt(VarList& vars, std::unique_ptr<BaseType> v, BaseType* parent);

// `path` cut at every '.': "a.b" gives {"a", "b"}, "a" gives {"a"}, "" gives
// {""}, and "a..b" gives {"a", "", "b"}. Nothing is decoded.
std::vector<std::string> split_path(const std::string& path);

// The variable among [begin, end), or inside them, that `names` reach: at
// each level the longest run of names that, joined by '.', names a member
// is taken first, and a shorter run only when the rest of the path is not
// found under the longer one. Members are those of Structures and
// Sequences, and a Grid's array and maps. Null when none (or `names` is
// empty). Each variable is visited at most once.
BaseType* find_var(VarIterator begin, VarIterator end,
                   const std::vector<std::string>& names);

}  // namespace vartree
}  // namespace libqvp

#endif  // LIBQVP_SRC_VARTREE_H
