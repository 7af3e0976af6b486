// The ancillary naming convention and the loading of ancillary DAS and DDS.
#include <dirent.h>
#include <libqvp/Ancillary.h>

#include "ServerTest.h"

namespace libqvp {
namespace {

// Candidates are given relative to the temporary directory, which is the
// working directory during each test; "@" stands for its absolute path.
std::string full_path(const TempDir& dir, const std::string& name) {
  return name[0] == '@' ? dir.path() + name.substr(1) : name;
}

// The name under which a candidate is found: a final '/' (a directory, see
// create_in) is not part of it.
std::string found(const std::string& candidate) {
  return candidate.back() == '/' ? candidate.substr(0, candidate.size() - 1)
                                 : candidate;
}

// Creates `name` ("@/..." or relative) as a file, or as a directory when it
// ends in '/'.
void create_in(const TempDir& dir, const std::string& name) {
  const std::string rel = name[0] == '@' ? name.substr(2) : name;
  if (rel.back() == '/')
    dir.mkdir(rel);
  else
    dir.write(rel, "");
}

// The temporary directory is the data root during each test.
class AncillaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d_dir.enter();
    setenv("QVP_DATA_ROOT", d_dir.path().c_str(), 1);
  }
  void TearDown() override { unsetenv("QVP_DATA_ROOT"); }
  std::string abs(const std::string& name) const {
    return full_path(d_dir, name);
  }
  void create(const std::string& name) const { create_in(d_dir, name); }
  TempDir d_dir;
};

// A row of ancillary_lookups.txt: data set, directory, file, candidates.
using Lookup = std::vector<std::string>;
constexpr size_t kFirst = 3;  // the first candidate's field

std::string describe(const Lookup& l, size_t i) {
  return l[0] + " dir \"" + l[1] + "\" file \"" + l[2] + "\", candidate " +
         std::to_string(i - kFirst + 1);
}

TEST_F(AncillaryTest, FindsEachCandidateOnItsOwn) {
  for (const auto& l : data_cases("ancillary_lookups.txt")) {
    for (size_t i = kFirst; i < l.size(); ++i) {
      TempDir dir;  // a fresh working directory for each candidate
      dir.enter();
      const auto at = [&](const std::string& s) { return full_path(dir, s); };
      create_in(dir, l[i]);
      EXPECT_EQ(Ancillary::find_ancillary_file(at(l[0]), "das", at(l[1]), l[2]),
                at(found(l[i])))
          << describe(l, i);
    }
  }
}

TEST_F(AncillaryTest, EarlierCandidatesWin) {
  const Lookup l = data_cases("ancillary_lookups.txt")[0];
  const std::string pathname = abs(l[0]);
  EXPECT_EQ(Ancillary::find_ancillary_file(pathname, "das", abs(l[1]), l[2]),
            "");
  for (size_t i = l.size(); i-- > kFirst;) {
    create(l[i]);
    EXPECT_EQ(Ancillary::find_ancillary_file(pathname, "das", abs(l[1]), l[2]),
              abs(found(l[i])))
        << describe(l, i);
  }
}

TEST_F(AncillaryTest, NothingFound) {
  create("@/data/sst.nc");
  create("@/data/sst.dds");
  EXPECT_EQ(Ancillary::find_ancillary_file(abs("@/data/sst.nc"), "das", "", ""),
            "");
  // A path through a regular file is not found either.
  EXPECT_EQ(
      Ancillary::find_ancillary_file(abs("@/data/sst.nc/x.nc"), "das", "", ""),
      "");
  // An empty path still forms its candidates: ".das", "das", ...
  EXPECT_EQ(Ancillary::find_ancillary_file("", "das", "", ""), "");
  create("@/das");
  EXPECT_EQ(Ancillary::find_ancillary_file("", "das", "", ""), "das");
}

TEST_F(AncillaryTest, GroupLookups) {
  for (const auto& c : data_cases("group_lookups.txt")) {
    TempDir dir;
    dir.enter();
    const auto at = [&](const std::string& s) { return full_path(dir, s); };
    for (size_t i = 2; i < c.size(); ++i) create_in(dir, c[i]);
    EXPECT_EQ(Ancillary::find_group_ancillary_file(at(c[0]), ".das"), at(c[1]))
        << c[0];
  }
}

int open_descriptors() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  if (d == nullptr) return -1;
  while (readdir(d) != nullptr) ++n;
  closedir(d);
  return n;
}

// The loaders read the first served file, beside the data set or in the
// ancillary directory; leave the objects alone when there is none; and
// pass a parse error on with the file closed.
TEST_F(AncillaryTest, LoadersReadTheFirstFileOrNothing) {
  DAS das;
  DDS dds("sst.nc");
  das.add_table("kept");
  Ancillary::read_ancillary_das(das, abs("@/data/sst.nc"), "", "");
  Ancillary::read_ancillary_dds(dds, abs("@/data/sst.nc"), "", "");
  EXPECT_NE(das.get_table("kept"), nullptr);
  EXPECT_EQ(dds.num_var(), 0u);

  d_dir.write("data/sst.das", "Attributes { sst { String units \"degC\"; } }");
  d_dir.write("data/sst.nc.das", "Attributes { other { Int32 n 1; } }");
  d_dir.write("anc/clim.dds", "Dataset { Int32 count; } clim;");
  Ancillary::read_ancillary_das(das, abs("@/data/sst.nc"), "", "");
  Ancillary::read_ancillary_dds(dds, abs("@/data/sst.nc"), abs("@/anc/"),
                                "clim");
  EXPECT_NE(das.get_table("sst"), nullptr);
  EXPECT_EQ(das.get_table("other"), nullptr);
  EXPECT_NE(dds.var("count"), nullptr);

  d_dir.write("data/sst.das", "Attributes { sst { NoSuchType x 1; } }");
  d_dir.write("data/sst.dds", "Dataset { Int32 ; }");
  const int before = open_descriptors();
  EXPECT_THROW(Ancillary::read_ancillary_das(das, abs("@/data/sst.nc"), "", ""),
               Error);
  EXPECT_THROW(Ancillary::read_ancillary_dds(dds, abs("@/data/sst.nc"), "", ""),
               Error);
  EXPECT_EQ(open_descriptors(), before);
}

// What the library reads itself must be a regular file inside the data root:
// anything else of a candidate's name counts as absent and the next candidate
// is read. Each case plants one as the first candidate of /data/sst.nc.
TEST_F(AncillaryTest, ReadsOnlyRegularFilesInsideTheRoot) {
  TempDir elsewhere;
  const std::string outside = elsewhere.write(
      "outside.das", "Attributes { secret { String s \"outside\"; } }");
  d_dir.write("data/other.das", "Attributes { inside { Int32 n 1; } }");
  d_dir.write("data/sst.nc.das", "Attributes { next { Int32 n 2; } }");
  // Links to their target; "<fifo>" and "<directory>" plant those.
  const std::string cases[] = {
      outside,  // a link out of the root, absolute and relative
      "../../" + elsewhere.path().substr(elsewhere.path().rfind('/') + 1) +
          "/outside.das",
      "<fifo>",
      "<directory>",
      "nowhere",  // a dangling link
  };
  const std::string first = d_dir / "data/sst.das";
  for (const std::string& c : cases) {
    SCOPED_TRACE(c);
    ASSERT_EQ(c == "<fifo>"        ? mkfifo(first.c_str(), 0600)
              : c == "<directory>" ? mkdir(first.c_str(), 0700)
                                   : symlink(c.c_str(), first.c_str()),
              0);
    DAS das;
    Ancillary::read_ancillary_das(das, d_dir / "data/sst.nc", "", "");
    EXPECT_EQ(das.get_table("secret"), nullptr);
    EXPECT_NE(das.get_table("next"), nullptr);
    EXPECT_EQ(Ancillary::find_served_ancillary_file(d_dir / "data/sst.nc",
                                                    "das", "", ""),
              d_dir / "data/sst.nc.das");
    // The name-forming lookup still reports the first existing name.
    if (c != "nowhere") {
      EXPECT_EQ(
          Ancillary::find_ancillary_file(d_dir / "data/sst.nc", "das", "", ""),
          first);
    }
    if (rmdir(first.c_str()) != 0) unlink(first.c_str());
  }
  // A link that stays inside the root is followed.
  ASSERT_EQ(symlink("other.das", first.c_str()), 0);
  DAS das;
  Ancillary::read_ancillary_das(das, d_dir / "data/sst.nc", "", "");
  EXPECT_NE(das.get_table("inside"), nullptr);
}

// Without a configured root the data set's own directory is the root:
// relative names in the working directory are not read.
TEST_F(AncillaryTest, WithoutAConfiguredRootTheDataSetsDirectoryIsTheRoot) {
  unsetenv("QVP_DATA_ROOT");
  d_dir.write("das", "Attributes { cwd { Int32 n 1; } }");
  d_dir.write("data/sub/sst.das", "Attributes { beside { Int32 n 1; } }");
  DAS das;
  Ancillary::read_ancillary_das(das, d_dir / "data/sst.nc", "", "");
  EXPECT_EQ(das.get_table("cwd"), nullptr);
  Ancillary::read_ancillary_das(das, d_dir / "data/sub/sst.nc", "", "");
  EXPECT_NE(das.get_table("beside"), nullptr);
}

// Plants `what` (a row's field of ancillary_places.txt) in `dir`: a file
// holding the table "planted", a link to such a file, or a fifo.
void plant(const TempDir& dir, const std::string& what) {
  const std::string text = "Attributes { planted { Int32 n 1; } }";
  const std::string::size_type arrow = what.find(" -> ");
  const std::string fifo = " (fifo)";
  if (arrow != std::string::npos) {
    const std::string name = what.substr(0, arrow);
    const std::string target = what.substr(arrow + 4);
    // The target is relative to the link's directory.
    dir.write(name.substr(0, name.rfind('/') + 1) + target, text);
    ASSERT_EQ(symlink(target.c_str(), (dir / name).c_str()), 0) << what;
  } else if (what.size() > fifo.size() &&
             what.compare(what.size() - fifo.size(), fifo.size(), fifo) == 0) {
    const std::string name = what.substr(0, what.size() - fifo.size());
    ASSERT_EQ(mkfifo((dir / name).c_str(), 0600), 0) << what;
  } else {
    dir.write(what, text);
  }
}

// A directory named with -d is a place the operator chose: what lies inside
// its real path is served, inside or outside the root; links out of it and
// names beside the data set keep the root's rule.
TEST_F(AncillaryTest, TheAncillaryDirectoryIsAChosenPlace) {
  for (const auto& c : data_cases("ancillary_places.txt")) {
    SCOPED_TRACE(c[0]);
    TempDir dir;
    dir.enter();
    for (const char* d : {"data", "anc", "elsewhere"}) dir.mkdir(d);
    if (c[1].empty())
      unsetenv("QVP_DATA_ROOT");
    else
      setenv("QVP_DATA_ROOT", full_path(dir, c[1]).c_str(), 1);
    plant(dir, c[4]);
    const std::string dataset = dir / "data/sst.nc";
    const std::string anc = c[2].empty() ? "" : full_path(dir, c[2]);
    const std::string want = c[5].empty() ? "" : full_path(dir, c[5]);
    EXPECT_EQ(Ancillary::find_served_ancillary_file(dataset, "das", anc, c[3]),
              want);
    DAS das;
    Ancillary::read_ancillary_das(das, dataset, anc, c[3]);
    EXPECT_EQ(das.get_table("planted") != nullptr, !want.empty());
  }
}

}  // namespace
}  // namespace libqvp
