// The text a printer writes, for comparing with golden texts.
#ifndef QVP_TEST_PRINTED_H
#define QVP_TEST_PRINTED_H

#include <sstream>
#include <string>

namespace libqvp {
namespace test {

// What `x.print(out)` writes to a string stream.
template <class T>
std::string printed(const T& x) {
  std::ostringstream out;
  x.print(out);
  return out.str();
}

// What a fresh T writes after parsing `text`; parse errors pass through.
template <class T>
std::string reprinted(const std::string& text) {
  T x;
  x.parse(text);
  return printed(x);
}

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_PRINTED_H
