// The data root and the one rule of what lies inside it, for every reader of
// the file system on a request's behalf: the dispatcher's and the pool's
// mapping, the catalogue, and the library's DataRoot (which forwards here).
// Real paths are compared, so links and ".." inside a name count where they
// lead.
#ifndef QVP_MAPPING_ROOTPATH_H
#define QVP_MAPPING_ROOTPATH_H

#include <sys/stat.h>

#include <string>

namespace libqvp {

// realpath(3) of `name`; "" when `name` is empty or cannot be resolved.
std::string real_path(const std::string& name);

// True when `real` is `real_root` itself or lies below it; both are real
// paths, and "" (no path) is inside nothing. "/data" does not hold
// "/database".
bool is_inside(const std::string& real_root, const std::string& real);

// The real path of the data root for requests on `dataset`, as
// DataRoot::of describes it: the real path of $QVP_DATA_ROOT when that is
// set and not empty, otherwise that of the data set's own directory. ""
// when it cannot be resolved.
std::string data_root_of(const std::string& dataset);

// Makes data_root_of and real_root answer `real` for the data root named
// `configured` without resolving it again: a resident server resolves its
// root once (the pool passes its real path, so both are the same).
void remember_data_root(const std::string& configured, const std::string& real);

// The real path of the data root named `root`: real_path(root), or what
// remember_data_root was told for it.
std::string real_root(const std::string& root);

// True when `name` is a regular file (after following links) inside
// `real_root`. A name that does not exist costs one stat.
bool holds_file(const std::string& real_root, const std::string& name);

// The real path of `rel` below `real_root` when it exists inside the root
// (or is the root itself), with its stat in `st`; "" otherwise, and "" when
// `real_root` is "".
std::string resolve_in_root(const std::string& real_root,
                            const std::string& rel, struct stat& st);

}  // namespace libqvp

#endif  // QVP_MAPPING_ROOTPATH_H
