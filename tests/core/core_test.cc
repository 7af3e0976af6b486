// The one-include header: a handler that includes only <libqvp/core.h> can
// parse a DDS, constrain it, print it and report errors with their codes.
#include <libqvp/core.h>
// Only the test framework besides; nothing else of the library.
#include <gtest/gtest.h>

#include <sstream>

namespace libqvp {
namespace {

TEST(CoreHeaderTest, ServesAConstrainedDdsThroughTheOneInclude) {
  DDS dds;
  dds.parse(
      std::string("Dataset {\n"
                  "    Int32 count;\n    Float64 depth[depth = 4];\n"
                  "} demo;\n"));
  ConstraintEvaluator ce;
  ce.parse_constraint("depth[1:2]", dds);
  std::ostringstream out;
  dds.print_constrained(out);
  EXPECT_EQ(out.str(),
            "Dataset {\n    Float64 depth[depth = 2];\n"
            "} demo;\n");

  try {
    ce.parse_constraint("nosuch", dds);
    FAIL() << "an unknown name was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.get_error_code(), no_such_variable);
    EXPECT_EQ(e.get_error_code(), 1004);
  }
}

}  // namespace
}  // namespace libqvp
