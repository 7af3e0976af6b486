// Captures what is written to std::cerr while the object lives.
#ifndef QVP_TEST_CAPTURECERR_H
#define QVP_TEST_CAPTURECERR_H

#include <iostream>
#include <sstream>
#include <string>

namespace libqvp {
namespace test {

class CaptureCerr {
 public:
  CaptureCerr() : d_old(std::cerr.rdbuf(d_out.rdbuf())) {}
  ~CaptureCerr() { std::cerr.rdbuf(d_old); }
  CaptureCerr(const CaptureCerr&) = delete;
  CaptureCerr& operator=(const CaptureCerr&) = delete;

  std::string text() const { return d_out.str(); }

 private:
  std::ostringstream d_out;
  std::streambuf* d_old;
};

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_CAPTURECERR_H
