// Last-modified times of the DAS, DDS and data responses from the data set
// and its ancillary files, in a temporary directory whose file times are set
// with utimensat; and the forwarders that merge ancillary files.
#include <gtest/gtest.h>
#include <libqvp/AttrTable.h>
#include <libqvp/DAS.h>
#include <libqvp/DDS.h>
#include <libqvp/VORNFilter.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "Argv.h"
#include "TempDir.h"

namespace libqvp {
namespace {

class VORNFilterTimesTest : public testing::Test {
 protected:
  void SetUp() override { d_data = make_file("sst.nc", kDataTime); }

  // Creates (or rewrites) `name` in the temporary directory, holding `text`,
  // modified at `mtime`; returns its path.
  std::string make_file(const std::string& name, time_t mtime,
                        const std::string& text = "") {
    const std::string path = d_tmp.write(name, text);
    test::TempDir::set_mtime(path, mtime);
    return path;
  }
  void make_dir(const std::string& name, time_t mtime) {
    test::TempDir::set_mtime(d_tmp.mkdir(name), mtime);
  }

  // A filter for `dataset` with -d `anc_dir` and -f `anc_file`. An empty
  // -d would make the lookup try names relative to the working directory,
  // so the tests give a directory of their own unless they test -d itself.
  static VORNFilter filter(const std::string& dataset,
                           const std::string& anc_dir,
                           const std::string& anc_file = "none") {
    test::Argv a({"h", "-d", anc_dir, "-f", anc_file, dataset});
    return VORNFilter(a.argc(), a.argv());
  }

  static constexpr time_t kDataTime = 1000000;
  test::TempDir d_tmp;
  const std::string d_dir = d_tmp.path();
  std::string d_data;
};

constexpr time_t VORNFilterTimesTest::kDataTime;

TEST_F(VORNFilterTimesTest, CombinesDataSetAndAncillaryTimes) {
  // Each case adds files (relative to the temporary directory) and expects
  // the DAS, DDS and data times.
  static const struct {
    const char* name;
    std::vector<std::pair<const char*, time_t>> files;
    time_t das, dds, data;
  } cases[] = {
      {"no ancillary files", {}, kDataTime, kDataTime, kDataTime},
      {"newer DAS beside", {{"sst.das", 2000000}}, 2000000, kDataTime, 2000000},
      {"older DDS beside",
       {{"sst.dds", 500000}},
       kDataTime,
       kDataTime,
       kDataTime},
      {"newer DDS, older DAS",
       {{"sst.dds", 3000000}, {"sst.das", 10}},
       kDataTime,
       3000000,
       3000000},
      {"both newer, DAS latest",
       {{"sst.dds", 3000000}, {"sst.das", 4000000}},
       4000000,
       3000000,
       4000000},
      {"equal to the data set",
       {{"sst.nc.das", kDataTime}},
       kDataTime,
       kDataTime,
       kDataTime},
      {"in the -d directory",
       {{"anc/sst.dds", 5000000}},
       kDataTime,
       5000000,
       5000000},
      {"under the -f name",
       {{"anc/none.das", 6000000}},
       6000000,
       kDataTime,
       6000000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = std::string(c.name) + "/";
    d_tmp.mkdir(dir + "anc");
    const std::string data = make_file(dir + "sst.nc", kDataTime);
    for (const auto& file : c.files) make_file(dir + file.first, file.second);
    const VORNFilter f = filter(data, d_tmp / (dir + "anc/"));
    EXPECT_EQ(kDataTime, f.get_dataset_last_modified_time());
    EXPECT_EQ(c.das, f.get_das_last_modified_time(""));
    EXPECT_EQ(c.dds, f.get_dds_last_modified_time(""));
    EXPECT_EQ(c.data, f.get_data_last_modified_time(""));
  }
}

TEST_F(VORNFilterTimesTest, NoRegularDataSetCountsAsNow) {
  make_dir("dir.nc", 1000);
  for (const std::string name : {"missing.nc", "dir.nc"}) {
    SCOPED_TRACE(name);
    const VORNFilter f = filter(d_dir + "/" + name, d_dir + "/");
    const time_t before = time(nullptr);
    const time_t das = f.get_das_last_modified_time("");
    const time_t data = f.get_data_last_modified_time("");
    const time_t after = time(nullptr);
    EXPECT_GE(das, before);
    EXPECT_LE(das, after);
    EXPECT_GE(data, before);
    EXPECT_LE(data, after);
  }
}

// Only a file that the loaders would read dates a response: a directory or
// a link out of the data root of an ancillary file's name counts as absent.
TEST_F(VORNFilterTimesTest, OnlyServedAncillaryFilesCount) {
  make_dir("sst.das", 2000000);
  const std::string outside = d_dir + "-outside.dds";
  make_file("elsewhere.dds", 3000000);
  ASSERT_EQ(rename((d_dir + "/elsewhere.dds").c_str(), outside.c_str()), 0);
  ASSERT_EQ(symlink(outside.c_str(), (d_dir + "/sst.dds").c_str()), 0);
  const VORNFilter f = filter(d_data, d_dir + "/anc/");
  EXPECT_EQ(kDataTime, f.get_das_last_modified_time(""));
  EXPECT_EQ(kDataTime, f.get_dds_last_modified_time(""));
  EXPECT_EQ(kDataTime, f.get_data_last_modified_time(""));
  unlink(outside.c_str());
}

TEST_F(VORNFilterTimesTest, AncLocationReplacesTheFiltersDirectory) {
  make_dir("a1", 1);
  make_dir("a2", 1);
  make_file("a1/sst.das", 3000000);
  make_file("a2/sst.das", 4000000);
  make_file("a2/clim.dds", 7000000);  // found through -f
  const VORNFilter f = filter(d_data, d_dir + "/a1/", "clim");
  EXPECT_EQ(3000000, f.get_das_last_modified_time(""));
  EXPECT_EQ(4000000, f.get_das_last_modified_time(d_dir + "/a2/"));
  EXPECT_EQ(kDataTime, f.get_dds_last_modified_time(""));
  EXPECT_EQ(7000000, f.get_dds_last_modified_time(d_dir + "/a2/"));
  EXPECT_EQ(7000000, f.get_data_last_modified_time(d_dir + "/a2/"));
  EXPECT_EQ(3000000, f.get_data_last_modified_time(""));
}

TEST_F(VORNFilterTimesTest, NothingIsCached) {
  const VORNFilter f = filter(d_data, d_dir + "/anc/");
  EXPECT_EQ(kDataTime, f.get_das_last_modified_time(""));
  make_file("sst.das", 2000000);
  EXPECT_EQ(2000000, f.get_das_last_modified_time(""));
  test::TempDir::set_mtime(d_dir + "/sst.das", 2000001);
  EXPECT_EQ(2000001, f.get_data_last_modified_time(""));
  test::TempDir::set_mtime(d_data, 9000000);
  EXPECT_EQ(9000000, f.get_das_last_modified_time(""));
}

// The data set's time is asked through the virtual table.
class FixedDataSetTime : public VORNFilter {
 public:
  time_t get_dataset_last_modified_time() const override { return 42; }
};

TEST_F(VORNFilterTimesTest, DataSetTimeIsVirtual) {
  FixedDataSetTime f;
  f.set_dataset_name(d_dir + "/nothing.nc");
  EXPECT_EQ(42, f.get_das_last_modified_time(d_dir + "/"));
  EXPECT_EQ(42, f.get_dds_last_modified_time(d_dir + "/"));
  EXPECT_EQ(42, f.get_data_last_modified_time(d_dir + "/"));
}

TEST_F(VORNFilterTimesTest, ReadsAncillaryFiles) {
  make_dir("a2", 1);
  make_file("sst.das", 1,
            "Attributes {\n    sst {\n        String units \"degC\";\n    "
            "}\n}\n");
  make_file("a2/sst.dds", 1, "Dataset {\n    Int32 count;\n} sst.nc;\n");
  const VORNFilter f = filter(d_data, d_dir + "/anc/");

  DAS das;
  f.read_ancillary_das(das, "");
  EXPECT_NE(nullptr, das.get_table("sst"));

  DDS dds("sst.nc");
  f.read_ancillary_dds(dds, "");  // nothing in -d or beside: unchanged
  EXPECT_EQ(0u, dds.num_var());
  f.read_ancillary_dds(dds, d_dir + "/a2/");
  EXPECT_NE(nullptr, dds.var("count"));
}

}  // namespace
}  // namespace libqvp
