// The one rule "inside the data root", on real paths and through links.
#include "RootPath.h"

#include <gtest/gtest.h>
#include <libqvp/DataRoot.h>
#include <unistd.h>

#include <cstdlib>

#include "CaseFile.h"
#include "TempDir.h"

namespace libqvp {
namespace test {
namespace {

TEST(RootPathTest, InsideIsTheRootOrBelowIt) {
  for (const auto& c : data_cases("inside_root.txt"))
    EXPECT_EQ(is_inside(c[0], c[1]), c[2] == "1") << c[0] << " ~ " << c[1];
}

// A root with a file, a directory, a link inside and links out of it (to a
// sibling whose name starts with the root's).
class RootPathTreeTest : public ::testing::Test {
 protected:
  RootPathTreeTest() {
    dir.write("data/sst.nc", "x");
    dir.write("database/secret.nc", "x");
    dir.mkdir("data/sub");
    dir.write("data/sub/deep.nc", "x");
    link("sst.nc", "data/again.nc");
    link("sub", "data/subl");
    link("../database/secret.nc", "data/out.nc");
    link("../database", "data/outdir");
    link("/", "data/top");
    root = real_path(dir / "data");
  }

  void link(const std::string& target, const std::string& name) {
    EXPECT_EQ(symlink(target.c_str(), (dir / name).c_str()), 0) << name;
  }

  TempDir dir;
  std::string root;
};

TEST_F(RootPathTreeTest, ResolvesOnlyWhatStaysInside) {
  struct Case {
    const char* rel;
    const char* real;  // below the root; null: refused
  } const cases[] = {{"sst.nc", "/sst.nc"},
                     {"again.nc", "/sst.nc"},
                     {"sub", "/sub"},
                     {"", ""},
                     {"sub/../sst.nc", "/sst.nc"},
                     {"sub/deep.nc", "/sub/deep.nc"},
                     {"subl/deep.nc", "/sub/deep.nc"},
                     {"./sub//deep.nc", "/sub/deep.nc"},
                     {"sub/", "/sub"},
                     {"sst.nc/x", nullptr},
                     {"sub/missing/x.nc", nullptr},
                     {"out.nc", nullptr},
                     {"outdir/secret.nc", nullptr},
                     {"top", nullptr},
                     {"missing.nc", nullptr},
                     {"../database/secret.nc", nullptr}};
  for (const Case& c : cases) {
    struct stat st {};
    const std::string real = resolve_in_root(root, c.rel, st);
    EXPECT_EQ(real, c.real ? root + c.real : "") << c.rel;
  }
  struct stat st {};
  EXPECT_EQ(resolve_in_root("", "sst.nc", st), "");
}

TEST_F(RootPathTreeTest, HoldsRegularFilesInside) {
  EXPECT_TRUE(holds_file(root, dir / "data/sst.nc"));
  EXPECT_TRUE(holds_file(root, dir / "data/again.nc"));
  EXPECT_TRUE(holds_file(root, dir / "data/sub/deep.nc"));
  EXPECT_TRUE(holds_file(root, dir / "data/subl/deep.nc"));
  EXPECT_TRUE(holds_file(root, root + "/sub/deep.nc"));
  EXPECT_FALSE(holds_file(root, dir / "data/sub"));
  EXPECT_FALSE(holds_file(root, dir / "data/out.nc"));
  EXPECT_FALSE(holds_file(root, dir / "data/missing.nc"));
  EXPECT_FALSE(holds_file("", dir / "data/sst.nc"));
  EXPECT_TRUE(holds_file(real_path(dir.path()), dir / "database/secret.nc"));
}

TEST_F(RootPathTreeTest, DataRootIsTheVariableOrTheDataSetsDirectory) {
  unsetenv(DataRoot::kVariable);
  EXPECT_EQ(data_root_of(dir / "data/sub/x.nc"), root + "/sub");
  EXPECT_EQ(data_root_of("/x.nc"), "/");
  EXPECT_EQ(data_root_of(dir / "missing/x.nc"), "");
  setenv(DataRoot::kVariable, (dir / "data/sub/..").c_str(), 1);
  EXPECT_EQ(data_root_of("/elsewhere/x.nc"), root);
  setenv(DataRoot::kVariable, "", 1);
  EXPECT_EQ(data_root_of(dir / "data/x.nc"), root);
  unsetenv(DataRoot::kVariable);
  EXPECT_EQ(real_path(""), "");
}

}  // namespace
}  // namespace test
}  // namespace libqvp
