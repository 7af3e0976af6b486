// What a request maps to: the handler program and its command line.
#ifndef QVP_MAPPING_HANDLERCALL_H
#define QVP_MAPPING_HANDLERCALL_H

#include <string>
#include <vector>

namespace libqvp {

// The program to exec and its whole argv (argv[0] is the program's path).
struct HandlerCall {
  std::string program;
  std::vector<std::string> argv;
};

}  // namespace libqvp

#endif  // QVP_MAPPING_HANDLERCALL_H
