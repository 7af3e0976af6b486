// A data response whose output refuses one write: whichever write it is (the
// structure, "Data:", the values; for a function's result its declaration or
// its value) the response throws Error(write_error) rather than go on
// without the lost bytes.
#include <gtest/gtest.h>
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <libqvp/Int32.h>
#include <libqvp/VORNFilter.h>

#include <memory>
#include <string>

#include "Argv.h"
#include "FailingFile.h"

namespace libqvp {
namespace {

// Sends the data response for `ce` without headers to a FILE* whose write
// number `failing_call` fails; returns the code of the Error thrown (0 for
// none).
int send(const std::string& ce, size_t failing_call) {
  test::Argv argv({"handler", "-o", "DataDDS", "-e", ce, "-v", "v1",
                   "/nonexistent/demo.nc"});
  VORNFilter f(argv.argc(), argv.argv());
  DDS dds("demo.nc");
  auto count = std::make_unique<Int32>("count");
  count->set_value(7);
  dds.add_var(std::move(count));
  ConstraintEvaluator eval;
  test::FailingFile out(failing_call);
  try {
    f.send_data(dds, eval, out.get(), "", false);
  } catch (const Error& e) {
    return e.get_error_code();
  }
  return 0;
}

TEST(VORNFilterWriteFailTest, EveryRefusedWriteOfTheBodyThrows) {
  const struct {
    const char* ce;
    size_t failing_call;
  } cases[] = {
      {"count", 1},      // the constrained structure
      {"count", 2},      // "Data:"
      {"count", 3},      // the values
      {"version()", 1},  // the result's declaration
      {"version()", 2},  // the result's value
  };
  for (const auto& c : cases) {
    EXPECT_EQ(send(c.ce, c.failing_call), write_error)
        << c.ce << " failing write " << c.failing_call;
  }
}

}  // namespace
}  // namespace libqvp
