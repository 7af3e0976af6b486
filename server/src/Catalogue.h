// The catalogue page of one directory under the data root: its
// subdirectories and the data sets a handler serves, sorted, with sizes and
// modification times, in pages of a bounded number of entries. Private to
// the server library.
#ifndef LIBQVP_CATALOGUE_H
#define LIBQVP_CATALOGUE_H

#include <ctime>
#include <ostream>
#include <string>
#include <vector>

namespace libqvp {

class Catalogue {
 public:
  // Entries per page, and entries read from one directory at most.
  static constexpr size_t kPageSize = 1000;
  static constexpr size_t kMaxEntries = 1000000;

  // Reads the directory `dir`, which must lie inside the directory `root`
  // or be `root` itself (both are resolved to real paths first; an empty
  // `root` means `dir`); `extensions` are those of the data sets to list.
  // Hidden entries (a leading '.'), names holding a control byte (which no
  // URL can ask for) and links that lead out of the root are left out.
  // Throws Error(no_such_variable), naming no path, when `dir` cannot be
  // read or lies outside the root.
  Catalogue(std::string root, std::string dir,
            std::vector<std::string> extensions);

  // Writes the page `page` (1 is the first; a number beyond the last shows
  // the last) as a whole HTML document. Links are relative to the directory's
  // URL, which ends with '/'.
  void write(std::ostream& out, size_t page) const;

 private:
  struct Entry {
    std::string name;
    bool is_dir = false;
  };

  bool is_servable(const std::string& name) const;
  // True when the real path of `path` is the root or lies inside it.
  bool inside_root(const std::string& path) const;
  void write_entry(std::ostream& out, int dirfd, const Entry& e) const;

  std::string d_root;
  std::string d_dir;
  std::vector<std::string> d_extensions;
  std::vector<Entry> d_entries;  // directories first, each part sorted
  bool d_truncated = false;
};

}  // namespace libqvp

#endif  // LIBQVP_CATALOGUE_H
