// Last-modified times of the DAS, DDS and data responses from the data set
// and its ancillary files, in a temporary directory whose file times are set
// without sleeping; and the forwarders that merge ancillary files.
#include "ServerTest.h"

namespace libqvp {
namespace {

constexpr time_t D = 1000000;  // the data set's time

class VORNFilterTimesTest : public testing::Test {
 protected:
  // Creates (or rewrites) `name` in the temporary directory, holding `text`,
  // modified at `mtime`; returns its path.
  std::string make(const std::string& name, time_t mtime,
                   const std::string& text = "") {
    const std::string path =
        name.back() == '/' ? d_tmp.mkdir(name) : d_tmp.write(name, text);
    TempDir::set_mtime(path, mtime);
    return path;
  }

  // A filter for `dataset` with -d `anc_dir` and -f `anc_file`. An empty
  // -d would make the lookup try names relative to the working directory,
  // so the tests give a directory of their own unless they test -d itself.
  static VORNFilter filter(const std::string& dataset,
                           const std::string& anc_dir,
                           const std::string& anc_file = "none") {
    Argv a({"h", "-d", anc_dir, "-f", anc_file, dataset});
    return VORNFilter(a.argc(), a.argv());
  }

  TempDir d_tmp;
  const std::string d_dir = d_tmp.path();
  const std::string d_data = make("sst.nc", D);
};

// Each case in a directory of its own.
TEST_F(VORNFilterTimesTest, CombinesDataSetAndAncillaryTimes) {
  for (const auto& c : data_cases("response_times.txt")) {
    SCOPED_TRACE(c[0]);
    const std::string dir = c[0] + "/";
    d_tmp.mkdir(dir + "anc");
    const std::string data = make(dir + "sst.nc", D);
    for (size_t i = 4; i + 1 < c.size(); i += 2)
      make(dir + c[i], std::stoll(c[i + 1]));
    const VORNFilter f = filter(data, d_tmp / (dir + "anc/"));
    EXPECT_EQ(D, f.get_dataset_last_modified_time());
    EXPECT_EQ(std::stoll(c[1]), f.get_das_last_modified_time(""));
    EXPECT_EQ(std::stoll(c[2]), f.get_dds_last_modified_time(""));
    EXPECT_EQ(std::stoll(c[3]), f.get_data_last_modified_time(""));
  }
}

TEST_F(VORNFilterTimesTest, NoRegularDataSetCountsAsNow) {
  make("dir.nc/", 1000);
  for (const std::string name : {"missing.nc", "dir.nc"}) {
    SCOPED_TRACE(name);
    const VORNFilter f = filter(d_dir + "/" + name, d_dir + "/");
    const time_t before = time(nullptr);
    const time_t das = f.get_das_last_modified_time("");
    const time_t data = f.get_data_last_modified_time("");
    const time_t after = time(nullptr);
    EXPECT_TRUE(das >= before && das <= after) << das;
    EXPECT_TRUE(data >= before && data <= after) << data;
  }
}

// Only a file that the loaders would read dates a response: a directory or
// a link out of the data root of an ancillary file's name counts as absent.
TEST_F(VORNFilterTimesTest, OnlyServedAncillaryFilesCount) {
  make("sst.das/", 2000000);
  const std::string outside = d_dir + "-outside.dds";
  ASSERT_EQ(rename(make("elsewhere.dds", 3000000).c_str(), outside.c_str()), 0);
  ASSERT_EQ(symlink(outside.c_str(), (d_dir + "/sst.dds").c_str()), 0);
  const VORNFilter f = filter(d_data, d_dir + "/anc/");
  EXPECT_EQ(D, f.get_das_last_modified_time(""));
  EXPECT_EQ(D, f.get_dds_last_modified_time(""));
  EXPECT_EQ(D, f.get_data_last_modified_time(""));
  unlink(outside.c_str());
}

TEST_F(VORNFilterTimesTest, AncLocationReplacesTheFiltersDirectory) {
  make("a1/sst.das", 3000000);
  make("a2/sst.das", 4000000);
  make("a2/clim.dds", 7000000);  // found through -f
  const VORNFilter f = filter(d_data, d_dir + "/a1/", "clim");
  EXPECT_EQ(3000000, f.get_das_last_modified_time(""));
  EXPECT_EQ(4000000, f.get_das_last_modified_time(d_dir + "/a2/"));
  EXPECT_EQ(D, f.get_dds_last_modified_time(""));
  EXPECT_EQ(7000000, f.get_dds_last_modified_time(d_dir + "/a2/"));
  EXPECT_EQ(7000000, f.get_data_last_modified_time(d_dir + "/a2/"));
  EXPECT_EQ(3000000, f.get_data_last_modified_time(""));
}

// A directory named with -d (or anc_location) outside the data set's own
// directory, with no root configured, dates the responses with what lies
// inside it; a link out of it does not count.
TEST_F(VORNFilterTimesTest, NamedDirectoriesOutsideTheDataSetsCount) {
  const std::string data = make("data/sst.nc", D);
  make("anc/sst.das", 2000000);
  make("loc/sst.dds", 3000000);
  make("elsewhere/x.dds", 4000000);
  ASSERT_EQ(symlink("../elsewhere/x.dds", (d_dir + "/anc/sst.dds").c_str()), 0);
  const VORNFilter f = filter(data, d_dir + "/anc/");
  EXPECT_EQ(2000000, f.get_das_last_modified_time(""));
  EXPECT_EQ(D, f.get_dds_last_modified_time(""));
  EXPECT_EQ(2000000, f.get_data_last_modified_time(""));
  EXPECT_EQ(3000000, f.get_dds_last_modified_time(d_dir + "/loc/"));
  EXPECT_EQ(3000000, f.get_data_last_modified_time(d_dir + "/loc/"));
}

TEST_F(VORNFilterTimesTest, NothingIsCached) {
  const VORNFilter f = filter(d_data, d_dir + "/anc/");
  EXPECT_EQ(D, f.get_das_last_modified_time(""));
  make("sst.das", 2000000);
  EXPECT_EQ(2000000, f.get_das_last_modified_time(""));
  TempDir::set_mtime(d_dir + "/sst.das", 2000001);
  EXPECT_EQ(2000001, f.get_data_last_modified_time(""));
  TempDir::set_mtime(d_data, 9000000);
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
  make("sst.das", 1, "Attributes { sst { String units \"degC\"; } }");
  make("a2/sst.dds", 1, "Dataset {\n    Int32 count;\n} sst.nc;\n");
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
