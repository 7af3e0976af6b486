// What the server library's tests share: the library's public headers, the
// test helpers of tests/support and the names used from them.
#ifndef QVP_TEST_SERVERTEST_H
#define QVP_TEST_SERVERTEST_H

#include <gtest/gtest.h>
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DAS.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <libqvp/Int32.h>
#include <libqvp/Str.h>
#include <libqvp/VORNFilter.h>
#include <libqvp/cgi_util.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Argv.h"
#include "BothForms.h"
#include "CaptureCerr.h"
#include "CaptureFile.h"
#include "CaptureStdout.h"
#include "CaseFile.h"
#include "ExpectError.h"
#include "FakeFilter.h"
#include "FlushRecorder.h"
#include "TempDir.h"

namespace libqvp {

using namespace test;  // the helpers of tests/support

// An Int32 variable holding `value`.
inline std::unique_ptr<Int32> int32(const std::string& name, int value) {
  auto v = std::make_unique<Int32>(name);
  v->set_value(value);
  return v;
}

// Everything readable from `fd` until end of file; closes `fd`.
inline std::string read_all(int fd) {
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) text.append(buf, n);
  close(fd);
  return text;
}

// The working directory; "" when it cannot be read.
inline std::string working_directory() {
  char buf[4096];
  return getcwd(buf, sizeof buf) ? buf : "";
}

}  // namespace libqvp

#endif  // QVP_TEST_SERVERTEST_H
