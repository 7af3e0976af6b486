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
  static std::string find_ancillary_file(const std::string& pathname,
                                         const std::string& ext,
                                         const std::string& dir,
                                         const std::string& file);

  // The file shared by the group of `name` (its name less a leading or
  // trailing run of digits, with `ext` appended as given); "" when none.
  static std::string find_group_ancillary_file(const std::string& name,
                                               const std::string& ext);

  // Parses the ancillary DAS (DDS) file of `pathname` into `das` (`dds`).
  // Nothing found or not openable: `das` is left as it was, silently.
  // Throws the parser's Error; the file is closed on every path.
  static void read_ancillary_das(DAS& das, const std::string& pathname,
                                 const std::string& dir,
                                 const std::string& file);
  static void read_ancillary_dds(DDS& dds, const std::string& pathname,
                                 const std::string& dir,
                                 const std::string& file);
};

}  // namespace libqvp

#endif  // LIBQVP_ANCILLARY_H
