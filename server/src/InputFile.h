// Private: opening the files the library reads itself (ancillary, document
// and override files) under a guard that closes them on every path.
#ifndef LIBQVP_INPUTFILE_H
#define LIBQVP_INPUTFILE_H

#include <cstdio>
#include <memory>
#include <string>

namespace libqvp {

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};
using InputFile = std::unique_ptr<FILE, FileCloser>;

// Opens `name` for reading; null when it cannot be opened or is not a
// regular file. The open never blocks (a fifo with no writer, a device): the
// name is opened non-blocking and its type checked on the open descriptor
// before the descriptor is made blocking again for reading.
InputFile open_input_file(const std::string& name);

// As open_input_file, and null unless the opened file is the one whose real
// path lies inside `root` (a real path, as DataRoot::of gives it).
InputFile open_contained_file(const std::string& name, const std::string& root);

}  // namespace libqvp

#endif  // LIBQVP_INPUTFILE_H
