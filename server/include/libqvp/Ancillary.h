// Finding and loading the ancillary files (DAS and DDS text, HTML documents)
// that accompany a data set.
#ifndef LIBQVP_ANCILLARY_H
#define LIBQVP_ANCILLARY_H

#include <string>

namespace libqvp {

class DAS;
class DDS;

class Ancillary {
 public:
  Ancillary() = delete;

  // The first existing one of the seven candidate names for the ancillary
  // file of `pathname` with extension `ext` (no dot), looked for beside the
  // data set, in `dir` (a raw prefix) and under `file`; "" when none exists.
  // With D the directory part of `pathname` (up to its last '/') and B its
  // basename (after that '/', less what follows the path's last '.'), the
  // candidates are, in order: D+B+"."+ext, pathname+"."+ext, D+ext,
  // dir+B+"."+ext, D+file+"."+ext, dir+file+"."+ext, dir+ext. Existence alone
  // counts (access F_OK): a directory of that name is found. Relative names
  // resolve against the working directory. Never throws.
  static std::string find_ancillary_file(const std::string& pathname,
                                         const std::string& ext,
                                         const std::string& dir,
                                         const std::string& file);

  // The first of the same seven candidates that is a regular file whose real
  // path lies inside the data root of `pathname` (DataRoot::of) or, for the
  // three formed from `dir`, inside the directory that a non-empty `dir`
  // names (its real path: "/anc/" and "/anc" name /anc, so the candidates of
  // the raw prefix "/anc" stand beside it, not in it); "" when none is. The
  // directory on the command line is one the operator or the handler chose;
  // the names beside the data set count only inside the root. A candidate
  // that is a link out of its place, a directory, a fifo, a device or a
  // socket counts as absent and the search goes on. Relative names resolve
  // against the working directory. What the library reads and dates itself
  // (the loaders, the last-modified queries) is found with this lookup.
  // Never throws.
  static std::string find_served_ancillary_file(const std::string& pathname,
                                                const std::string& ext,
                                                const std::string& dir,
                                                const std::string& file);

  // The file shared by the group of `name`: its directory + "/" + its file
  // name less the extension and less the leading run of ASCII digits, + ext
  // (appended as given, dot included); failing that, the same less the
  // trailing run of digits. "" when neither exists, or when the name has no
  // digit at either end. A name without '/' is looked up in the working
  // directory: "sst2001.nc" and ".html" give "sst.html". Never throws.
  static std::string find_group_ancillary_file(const std::string& name,
                                               const std::string& ext);

  // Parses the ancillary DAS (DDS) file of `pathname`
  // (find_served_ancillary_file with "das" or "dds") into `das` (`dds`).
  // Nothing found, or a file that cannot be opened: the object is left as it
  // was, silently. The file is opened without blocking and read only when
  // the opened file is a regular file inside the place it was found in (the
  // data root or `dir`). Throws the parser's Error; the file is closed on
  // every path.
  static void read_ancillary_das(DAS& das, const std::string& pathname,
                                 const std::string& dir,
                                 const std::string& file);
  static void read_ancillary_dds(DDS& dds, const std::string& pathname,
                                 const std::string& dir,
                                 const std::string& file);
};

}  // namespace libqvp

#endif  // LIBQVP_ANCILLARY_H
