// NcML documents served by qvp_nc_handler: documents refused with their
// place, the root rules, joins refused by member and variable, values read
// across member boundaries, and indexes made again when what they were made
// from changes. Members are written with ncgen into a data root of their
// own; the index directory is a fresh one per test.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "HandlerRun.h"

namespace libqvp {
namespace test {
namespace {

// A member of the daily collection: `ntime` steps from time `t0`, `nlat`
// latitudes, sst values k * 100 + (index in the member).
std::string member_cdl(int k, int t0, int ntime = 2, int nlat = 3,
                       const std::string& sst_type = "float",
                       const std::string& units = "days since 2020-01-01",
                       bool record = true) {
  std::string times, values;
  for (int i = 0; i < ntime; ++i)
    times += (i ? ", " : "") + std::to_string(t0 + i);
  for (int i = 0; i < ntime * nlat * 2; ++i)
    values += (i ? ", " : "") + std::to_string(k * 100 + i);
  std::string lats;
  for (int i = 0; i < nlat; ++i) lats += (i ? ", " : "") + std::to_string(i);
  return "netcdf m {\ndimensions: time = " +
         (record ? std::string("UNLIMITED") : std::to_string(ntime)) +
         " ; lat = " + std::to_string(nlat) +
         " ; lon = 2 ;\nvariables:\n  int time(time) ; time:units = \"" +
         units + "\" ;\n  float lat(lat) ; float lon(lon) ;\n  " + sst_type +
         " sst(time, lat, lon) ; sst:units = \"K\" ;\n  :title = \"member " +
         std::to_string(k) + "\" ;\ndata:\n  time = " + times +
         " ;\n  lat = " + lats + " ; lon = 0, 1 ;\n  sst = " + values +
         " ;\n}\n";
}

const char* const kHead =
    "<?xml version=\"1.0\"?>\n"
    "<netcdf xmlns=\"http://www.unidata.ucar.edu/namespaces/netcdf/ncml-2.2\">"
    "\n";

class NcmlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QVP_DATA_ROOT", root.path().c_str(), 1);
    setenv("QVP_CACHE_DIR", (cache / "idx").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QVP_DATA_ROOT");
    unsetenv("QVP_CACHE_DIR");
  }
  // Writes member `k` (classic format) as daily/sst_<k>.nc.
  void member(int k, int t0, int ntime = 2, int nlat = 3,
              const std::string& type = "float",
              const std::string& units = "days since 2020-01-01",
              bool record = true) {
    root.mkdir("daily");
    const std::string nc =
        ncgen(root, "m" + std::to_string(k),
              member_cdl(k, t0, ntime, nlat, type, units, record), "classic");
    ASSERT_EQ(
        rename(nc.c_str(),
               (root / ("daily/sst_" + std::to_string(k) + ".nc")).c_str()),
        0);
  }
  std::string doc(const std::string& body, const std::string& name = "a.ncml") {
    return root.write(name, kHead + body + "</netcdf>\n");
  }
  RunResult get(const std::string& kind, const std::string& ce = "",
                const std::string& name = "a.ncml") {
    std::vector<std::string> args = {"-o", kind, "-u", "http://h/a"};
    if (!ce.empty()) args.insert(args.end(), {"-e", ce});
    args.push_back(root / name);
    RunResult r = run_handler(args);
    // Error messages as they were thrown, without the text form's escapes.
    if (r.out.find("Error {") != std::string::npos)
      r.out = std::regex_replace(r.out, std::regex(R"(\\")"), "\"");
    return r;
  }
  // The Float32 (or Int32) values of a DataDDS response of one array.
  static std::vector<int64_t> values(const RunResult& r, bool floats = true) {
    const size_t at = r.out.find("Data:\n");
    std::vector<int64_t> out;
    if (at == std::string::npos) return out;
    const std::string bytes = r.out.substr(at + 6 + 8);
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
      uint32_t u = 0;
      for (size_t b = 0; b < 4; ++b)
        u = (u << 8) | static_cast<unsigned char>(bytes[i + b]);
      float f = 0;
      std::memcpy(&f, &u, 4);
      out.push_back(floats ? static_cast<int64_t>(f) : static_cast<int32_t>(u));
    }
    return out;
  }
  // The Float64 values of a DataDDS response of one array.
  static std::vector<double> doubles(const RunResult& r) {
    const size_t at = r.out.find("Data:\n");
    std::vector<double> out;
    if (at == std::string::npos) return out;
    const std::string bytes = r.out.substr(at + 6 + 8);
    for (size_t i = 0; i + 8 <= bytes.size(); i += 8) {
      uint64_t u = 0;
      for (size_t b = 0; b < 8; ++b)
        u = (u << 8) | static_cast<unsigned char>(bytes[i + b]);
      double d = 0;
      std::memcpy(&d, &u, 8);
      out.push_back(d);
    }
    return out;
  }
  static std::string status_line(const RunResult& r) {
    return r.out.substr(0, r.out.find('\r'));
  }

  TempDir root, cache;
};

const char* const kScanJoin =
    "<aggregation dimName=\"time\" type=\"joinExisting\">\n"
    "<scan location=\"daily/\" suffix=\".nc\"/></aggregation>\n";

TEST_F(NcmlTest, DocumentsRefusedWithTheirPlace) {
  member(0, 0);
  const struct {
    const char* body;
    const char* message;
  } cases[] = {
      {"<attribute name=\"a\" value=\"1\">\n",
       "line 4, column 3: mismatched tag"},
      {"<foo/>\n", "line 3, column 1: the element <foo> is not supported"},
      {"<attribute name=\"a\" valeu=\"1\"/>\n",
       "the attribute valeu of <attribute> is not supported"},
      {"<aggregation type=\"joinExisting\" dimName=\"time\"/>\n",
       "the aggregation has no members"},
      {"<aggregation type=\"joinNew\" dimName=\"run\">"
       "<netcdf location=\"daily/sst_0.nc\"/></aggregation>\n",
       "a joinNew aggregation needs <variableAgg> elements"},
      {"<aggregation type=\"tiled\"><netcdf "
       "location=\"x.nc\"/></aggregation>\n",
       "aggregations of type \"tiled\" are not supported"},
      {"<aggregation type=\"joinExisting\" dimName=\"time\"><netcdf "
       "location=\"daily/sst_0.nc\" ncoords=\"-2\"/></aggregation>\n",
       "ncoords=\"-2\" is not a count"},
      {"<aggregation type=\"joinExisting\" dimName=\"time\"><scan "
       "location=\"daily/\" olderThan=\"soon\"/></aggregation>\n",
       "olderThan=\"soon\" is not a duration"},
      {"<aggregation type=\"joinExisting\" dimName=\"time\"><scan "
       "location=\"daily/\" suffix=\".grib\"/></aggregation>\n",
       "the scan of \"daily/\" finds no files"},
      {"<aggregation type=\"joinNew\" dimName=\"run\"><variableAgg "
       "name=\"sst\"/>"
       "<netcdf location=\"daily/sst_0.nc\" "
       "coordValue=\"first\"/></aggregation>\n",
       "coordValue=\"first\" is neither a number nor a date"},
      {"<aggregation type=\"joinExisting\" dimName=\"time\">"
       "<netcdf location=\"daily/sst_0.nc\"/><netcdf "
       "location=\"daily/sst_0.nc\" "
       "ncoords=\"2\" coordValue=\"4 x\"/></aggregation>\n",
       "coordValue=\"4 x\" is not a list of numbers"},
      {"<variable name=\"new\" type=\"int\" shape=\"lat\"><values>1 2</values>"
       "</variable><netcdf/>\n",
       "the element <netcdf> is not supported"},
  };
  for (const auto& c : cases) {
    doc(std::string(c.body));
    const RunResult r = get("DAS");
    EXPECT_EQ(status_line(r), "HTTP/1.0 500 Internal Server Error") << c.body;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << c.body << r.out;
  }
  root.write("t.ncml",
             "<?xml version=\"1.0\"?>\n<!DOCTYPE netcdf [<!ENTITY x SYSTEM "
             "\"file:///etc/passwd\">]>\n<netcdf>&x;</netcdf>\n");
  const RunResult r = get("DAS", "", "t.ncml");
  EXPECT_NE(r.out.find("\"t.ncml\" line 2, column 18: a document type is not "
                       "accepted"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("root:"), std::string::npos);
}

TEST_F(NcmlTest, MembersOutsideTheRootAreRefused) {
  TempDir outside;
  ncgen(outside, "o", member_cdl(9, 0), "classic");
  member(0, 0);
  symlink((outside / "o.nc").c_str(), (root / "daily/link.nc").c_str());
  const std::string up =
      "../" + outside.path().substr(outside.path().rfind('/') + 1) + "/o.nc";
  const struct {
    std::string location;
    const char* message;
  } cases[] = {
      {outside / "o.nc", "is an absolute path"},
      {up, "lies outside the data root"},
      {"daily/link.nc", "lies outside the data root"},
      {"http://example.org/o.nc", "is a URL"},
      {"file:daily/sst_0.nc", "is a URL"},
      {"daily/none.nc", "does not exist"},
      {"daily", "is not a file"},
  };
  for (const auto& c : cases) {
    doc("<aggregation type=\"union\"><netcdf location=\"" + c.location +
        "\"/></aggregation>\n");
    const RunResult r = get("DAS");
    EXPECT_NE(r.out.find(c.message), std::string::npos) << c.location << r.out;
    EXPECT_EQ(r.out.find("member 9"), std::string::npos);
  }
  // A scan passes over the link out of the root.
  doc(kScanJoin);
  const RunResult r = get("DAS");
  EXPECT_EQ(status_line(r), "HTTP/1.0 200 OK") << r.out;
}

TEST_F(NcmlTest, JoinsThatDisagreeNameTheMemberAndTheDifference) {
  const struct {
    int ntime, nlat, t0;
    const char* type;
    const char* units;
    const char* message;
  } cases[] = {
      {2, 2, 2, "float", "days since 2020-01-01",
       "\"daily/sst_1.nc\": lat has 2 values where the aggregation has 3"},
      {2, 3, 2, "double", "days since 2020-01-01",
       "\"daily/sst_1.nc\": sst is double where the aggregation has float"},
      {2, 3, 1, "float", "days since 2020-01-01",
       "\"daily/sst_1.nc\": time 1 does not follow 1"},
      {2, 3, 0, "float", "days since 2020-01-01", "time 0 does not follow 1"},
      {2, 3, 2, "float", "hours since 2020-01-01",
       ""},  // accepted: units differ but timeUnitsChange is off
  };
  for (const auto& c : cases) {
    member(0, 0);
    member(1, c.t0, c.ntime, c.nlat, c.type, c.units);
    doc(kScanJoin);
    const RunResult r = get("DDS");
    if (*c.message == '\0') {
      EXPECT_EQ(status_line(r), "HTTP/1.0 200 OK") << r.out;
      continue;
    }
    EXPECT_EQ(status_line(r), "HTTP/1.0 500 Internal Server Error");
    EXPECT_NE(r.out.find(c.message), std::string::npos) << c.message << r.out;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << "logged";
    // Refused again from the index, without logging it a second time.
    const RunResult again = get("DAS");
    EXPECT_NE(again.out.find(c.message), std::string::npos);
    EXPECT_EQ(again.err, "");
  }
  root.write("daily/sst_5.nc", "not netCDF at all");
  const RunResult r = get("DDS");
  EXPECT_NE(r.out.find("\"sst_5.nc\": NetCDF: Unknown file format"),
            std::string::npos)
      << r.out;
}

// Record variables are decoded; fixed ones, in runs long enough, go out as
// they lie on disk. Members: time 0 1 2 | 3 | 4 5.
TEST_F(NcmlTest, BoxesAcrossMemberBoundaries) {
  const int first[] = {0, 0, 0, 1, 2, 2}, local[] = {0, 1, 2, 0, 0, 1};
  for (const int nlat : {3, 600}) {
    const bool record = nlat == 3;
    const std::string days = "days since 2020-01-01";
    member(0, 0, 3, nlat, "float", days, record);
    member(1, 3, 1, nlat, "float", days, record);
    member(2, 4, 2, nlat, "float", days, record);
    doc(kScanJoin);
    // sst[t][lat][lon] of the aggregation, as the members hold it.
    const auto sst = [&](int t, int lat, int lon) {
      return int64_t{first[t]} * 100 + (local[t] * nlat + lat) * 2 + lon;
    };
    const struct {
      const char* ce;
      int t0, t_stride, t1, lat0, lat1, lon0, lon1;
    } cases[] = {
        {"sst.sst[0:1:5][1][0]", 0, 1, 5, 1, 1, 0, 0},
        {"sst.sst[1:2:5][1][0]", 1, 2, 5, 1, 1, 0, 0},
        {"sst.sst[2:3][1][0:1]", 2, 1, 3, 1, 1, 0, 1},
        {"sst.sst[5][2][1]", 5, 1, 5, 2, 2, 1, 1},
        {"sst.sst[0:5][0:2][0:1]", 0, 1, 5, 0, 2, 0, 1},
    };
    for (const auto& c : cases) {
      std::vector<int64_t> want;
      for (int t = c.t0; t <= c.t1; t += c.t_stride)
        for (int lat = c.lat0; lat <= c.lat1; ++lat)
          for (int lon = c.lon0; lon <= c.lon1; ++lon)
            want.push_back(sst(t, lat, lon));
      EXPECT_EQ(values(get("DataDDS", c.ce)), want) << c.ce << " " << nlat;
    }
    // Whole grids: runs of 4,800 bytes.
    std::vector<int64_t> want;
    for (int t = 1; t <= 4; ++t)
      for (int lat = 0; lat < nlat; ++lat)
        for (int lon = 0; lon < 2; ++lon) want.push_back(sst(t, lat, lon));
    EXPECT_EQ(values(get("DataDDS", "sst.sst[1:4][0:" +
                                        std::to_string(nlat - 1) + "][0:1]")),
              want);
    EXPECT_EQ(values(get("DataDDS", "time"), false),
              (std::vector<int64_t>{0, 1, 2, 3, 4, 5}));
  }
}

// Which files a scan takes, and in which order: by path, or by the date the
// names carry.
TEST_F(NcmlTest, ScansChooseAndOrderTheirMembers) {
  const struct {
    int t0;
    const char* path;
  } files[] = {{2, "daily/b_20200101.nc"},
               {0, "daily/c_20191230.nc"},
               {4, "daily/sub/a_20200105.nc"},
               {6, "daily/new_20200107.nc"}};
  for (const auto& f : files) {
    member(9, f.t0);
    root.mkdir("daily/sub");
    ASSERT_EQ(
        rename((root / "daily/sst_9.nc").c_str(), (root / f.path).c_str()), 0);
  }
  root.write("daily/notes.txt", "not a member");
  // Three of the files are old; new_20200107.nc was just written.
  for (const auto& f : files)
    if (std::string(f.path).find("new_") == std::string::npos)
      TempDir::set_mtime(root / f.path, time(nullptr) - 3600);
  const struct {
    const char* scan;
    std::vector<int64_t> times;
    const char* error;
  } cases[] = {
      // By path, b_ before c_: the time coordinate goes back, refused.
      {"suffix=\".nc\" subdirs=\"false\" olderThan=\"10 min\"",
       {},
       "\"daily/c_20191230.nc\": time 0 does not follow 3"},
      {"suffix=\".nc\" dateFormatMark=\"_#yyyyMMdd\" olderThan=\"10 min\"",
       {0, 1, 2, 3, 4, 5},
       ""},
      {"regExp=\".*/(b|new)_[0-9]+\\.nc\" dateFormatMark=\"_#yyyyMMdd\"",
       {2, 3, 6, 7},
       ""},
  };
  for (const auto& c : cases) {
    doc("<aggregation dimName=\"time\" type=\"joinExisting\"><scan "
        "location=\"daily/\" " +
        std::string(c.scan) + "/></aggregation>\n");
    const RunResult r = get("DataDDS", "time");
    if (*c.error != '\0')
      EXPECT_NE(r.out.find(c.error), std::string::npos) << r.out;
    else
      EXPECT_EQ(values(r, false), c.times) << c.scan << r.out;
  }
}

TEST_F(NcmlTest, JoinNewUnionAndTimeUnits) {
  member(0, 0);
  member(1, 2, 2, 3, "float", "hours since 2020-01-02");
  doc("<aggregation dimName=\"time\" type=\"joinExisting\" "
      "timeUnitsChange=\"true\"><netcdf location=\"daily/sst_0.nc\"/>"
      "<netcdf location=\"daily/sst_1.nc\"/></aggregation>\n");
  // The second member's hours since 2020-01-02 become days since 2020-01-01.
  const RunResult t = get("DataDDS", "time");
  ASSERT_NE(t.out.find("Float64 time[time = 4]"), std::string::npos) << t.out;
  EXPECT_EQ(doubles(t),
            (std::vector<double>{0, 1, 1 + 2 / 24.0, 1 + 3 / 24.0}));
  doc("<aggregation dimName=\"run\" type=\"joinNew\"><variableAgg "
      "name=\"sst\"/>"
      "<netcdf location=\"daily/sst_1.nc\" coordValue=\"2020-01-09\"/>"
      "<netcdf location=\"daily/sst_0.nc\" coordValue=\"2020-01-10T12:00Z\"/>"
      "</aggregation>\n");
  EXPECT_EQ(values(get("DataDDS", "sst.sst[0:1][0][0:1][0]")),
            (std::vector<int64_t>{100, 102, 0, 2}));
  const RunResult dds = get("DDS");
  EXPECT_NE(dds.out.find("Float32 sst[run = 2][time = 2][lat = 3][lon = 2]"),
            std::string::npos)
      << dds.out;
  root.write("u.cdl",
             "netcdf u {\ndimensions: lat = 3 ;\nvariables: short mask(lat) ;\n"
             "  float sst(lat) ;\n:title = \"other\" ; :extra = 1 ;\n"
             "data: mask = 7, 8, 9 ; sst = -1, -1, -1 ;\n}\n");
  ASSERT_EQ(
      run_program(QVP_NCGEN, {"-o", root / "u.nc", root / "u.cdl"}).status, 0);
  doc("<aggregation type=\"union\"><netcdf location=\"daily/sst_0.nc\"/>"
      "<netcdf location=\"u.nc\"/></aggregation>\n");
  const RunResult das = get("DAS");
  EXPECT_NE(das.out.find("String title \"member 0\""), std::string::npos);
  EXPECT_NE(das.out.find("Int32 extra 1"), std::string::npos) << das.out;
  EXPECT_EQ(values(get("DataDDS", "sst.sst[0][0][0]")),
            (std::vector<int64_t>{0}));
}

TEST_F(NcmlTest, EditsOfOneDataSet) {
  member(0, 0);
  root.write("inner.ncml",
             std::string(kHead).replace(std::string(kHead).find(">\n", 30), 2,
                                        " location=\"daily/sst_0.nc\"/>\n"));
  const std::string edits =
      "<attribute name=\"heading\" orgName=\"title\"/>\n"
      "<attribute name=\"levels\" type=\"short\" value=\"1 2 3\"/>\n"
      "<variable name=\"temperature\" orgName=\"sst\">"
      "<remove name=\"units\" type=\"attribute\"/>"
      "<attribute name=\"scale\" type=\"double\" value=\"0.5\"/></variable>\n"
      "<variable name=\"lon\"><values start=\"10\" increment=\"5\"/>"
      "</variable>\n"
      "<variable name=\"band\" type=\"int\" shape=\"lat\">"
      "<values>7 8 9</values></variable>\n"
      "<remove name=\"time\" type=\"variable\"/>\n";
  root.write("e.ncml",
             std::string(kHead).replace(std::string(kHead).find(">\n", 30), 2,
                                        " location=\"inner.ncml\">\n") +
                 edits + "</netcdf>\n");
  const RunResult das = get("DAS", "", "e.ncml");
  EXPECT_NE(das.out.find("String heading \"member 0\""), std::string::npos)
      << das.out;
  EXPECT_NE(das.out.find("Int16 levels 1, 2, 3"), std::string::npos);
  EXPECT_NE(das.out.find("temperature {\n        Float64 scale 0.5"),
            std::string::npos);
  const RunResult dds = get("DDS", "", "e.ncml");
  EXPECT_EQ(dds.out.find(" time["), std::string::npos) << dds.out;
  EXPECT_EQ(values(get("DataDDS", "temperature[1][2][1]", "e.ncml")),
            (std::vector<int64_t>{11}));
  EXPECT_EQ(values(get("DataDDS", "lon", "e.ncml")),
            (std::vector<int64_t>{10, 15}));
  EXPECT_EQ(values(get("DataDDS", "band.band", "e.ncml"), false),
            (std::vector<int64_t>{7, 8, 9}));
  // A document reaching itself through its members.
  doc("<aggregation type=\"union\"><netcdf "
      "location=\"b.ncml\"/></aggregation>\n",
      "a.ncml");
  doc("<aggregation type=\"union\"><netcdf "
      "location=\"a.ncml\"/></aggregation>\n",
      "b.ncml");
  EXPECT_NE(get("DAS").out.find("includes itself"), std::string::npos);
}

TEST_F(NcmlTest, IndexesFollowTheirMembersAndDocument) {
  member(0, 0);
  member(1, 2);
  doc(kScanJoin);
  EXPECT_NE(get("DDS").out.find("time = 4]"), std::string::npos);
  member(2, 4);  // added
  EXPECT_NE(get("DDS").out.find("time = 6]"), std::string::npos);
  unlink((root / "daily/sst_1.nc").c_str());  // removed: 0..1 then 4..5
  EXPECT_EQ(values(get("DataDDS", "time"), false),
            (std::vector<int64_t>{0, 1, 4, 5}));
  doc("<attribute name=\"title\" value=\"changed\"/>" + std::string(kScanJoin));
  EXPECT_NE(get("DAS").out.find("changed"), std::string::npos);
  // Rewritten in place, the directory's mtime kept: refused at the read that
  // finds it, indexed again at the next request.
  const std::string daily = root / "daily";
  struct stat before {};
  stat(daily.c_str(), &before);
  ASSERT_EQ(get("DDS").status, 0);
  const std::string cdl = root.write("m2b.cdl", member_cdl(7, 4, 3));
  ASSERT_EQ(run_program(QVP_NCGEN,
                        {"-k", "classic", "-o", root / "daily/sst_2.nc", cdl})
                .status,
            0);
  const struct timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, daily.c_str(), times, 0), 0);
  const RunResult stale = get("DataDDS", "sst.sst[2:3][0][0]");
  EXPECT_EQ(status_line(stale), "HTTP/1.0 500 Internal Server Error");
  EXPECT_NE(stale.out.find("\"daily/sst_2.nc\" changed"), std::string::npos)
      << stale.out;
  EXPECT_EQ(values(get("DataDDS", "sst.sst[2:4][0][0]")),
            (std::vector<int64_t>{700, 706, 712}));
  // A touched listed member is checked again.
  doc("<aggregation dimName=\"time\" type=\"joinExisting\">"
      "<netcdf location=\"daily/sst_0.nc\"/><netcdf location=\"daily/sst_2.nc\""
      " ncoords=\"3\"/></aggregation>\n");
  EXPECT_NE(get("DDS").out.find("time = 5]"), std::string::npos);
  member(2, 4, 2);
  EXPECT_NE(get("DDS").out.find("ncoords says 3"), std::string::npos);
  // A document that nests another follows the inner one's scan.
  doc(kScanJoin, "inner.ncml");
  doc("<aggregation type=\"union\"><netcdf location=\"inner.ncml\"/>"
      "</aggregation>\n",
      "outer.ncml");
  EXPECT_NE(get("DDS", "", "outer.ncml").out.find("time = 4]"),
            std::string::npos);
  member(3, 10);
  EXPECT_NE(get("DDS", "", "outer.ncml").out.find("time = 6]"),
            std::string::npos);
}

TEST_F(NcmlTest, ServedWithoutAnUsableIndexDirectory) {
  member(0, 0);
  doc(kScanJoin);
  const std::string blocked = cache.write("file", "");
  setenv("QVP_CACHE_DIR", blocked.c_str(), 1);
  const RunResult r = get("DDS");
  EXPECT_EQ(status_line(r), "HTTP/1.0 200 OK");
  EXPECT_NE(r.err.find("NcML indexes are not kept"), std::string::npos);
}

}  // namespace
}  // namespace test
}  // namespace libqvp
