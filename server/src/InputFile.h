// Private: opening the files the library reads itself (ancillary, document
// and override files) under a guard that closes them on every path.
#ifndef LIBQVP_INPUTFILE_H
#define LIBQVP_INPUTFILE_H

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>

namespace libqvp {

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};
using InputFile = std::unique_ptr<FILE, FileCloser>;

// Opens `name` for reading; null when it cannot be opened. A directory counts
// as a file that cannot be opened: fopen alone accepts one, and every read
// from it then fails.
inline InputFile open_input_file(const std::string& name) {
  if (name.empty()) return nullptr;
  InputFile in(fopen(name.c_str(), "r"));
  struct stat st;
  if (in && fstat(fileno(in.get()), &st) == 0 && S_ISDIR(st.st_mode))
    return nullptr;
  return in;
}

}  // namespace libqvp

#endif  // LIBQVP_INPUTFILE_H
