// The file name under which a browser saves a download, and the
// Content-Disposition line that gives it.
#ifndef QVP_NC_DOWNLOADNAME_H
#define QVP_NC_DOWNLOADNAME_H

#include <string>
#include <vector>

namespace libqvp {

// "<data set's name less its extension>_<selected names joined by '-'>.<
// extension>", or without "_..." when `selected` is empty; the part before
// the extension is cut to kMaxStem bytes (never inside a UTF-8 sequence).
std::string download_file_name(const std::string& dataset,
                               const std::vector<std::string>& selected,
                               const std::string& extension);

// The value of the Content-Disposition header for `file_name`:
//   attachment; filename="<ASCII form>"; filename*=UTF-8''<percent-encoded>
// The ASCII form replaces every byte other than letters, digits, '.', '-'
// and '_' with '_'; the percent-encoded form keeps every byte.
std::string content_disposition(const std::string& file_name);

constexpr size_t kMaxStem = 150;

}  // namespace libqvp

#endif  // QVP_NC_DOWNLOADNAME_H
