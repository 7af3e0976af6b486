// The handler table: the accepted file format, the refused lines with their
// line numbers, and map_request using a table named by QVP_CONFIG.
#include "HandlerTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "CaseFile.h"
#include "ExpectError.h"
#include "RequestMap.h"
#include "TempDir.h"

namespace libqvp {
namespace test {
namespace {

// The rows of a table, "key=value;" each, handlers then suffixes.
std::string rows(const HandlerTable& t) {
  std::string text;
  for (const auto* list : {&t.handlers(), &t.suffixes()})
    for (const auto& row : *list) text += row.key + "=" + row.value + ";";
  return text;
}

// The installed example must stay what its comment says: the built-in table.
TEST(HandlerTableTest, BuiltinTableAndTheInstalledExample) {
  const HandlerTable t = HandlerTable::builtin();
  EXPECT_EQ(rows(t),
            "nc=qvp_nc_handler;nc4=qvp_nc_handler;ncml=qvp_nc_handler;das=das;"
            "dds=dds;ddx=ddx;vorn=DataDDS;ver=Version;html=html;csv=csv;nc=nc;"
            "nc4=nc4;png=png;");
  EXPECT_EQ(
      rows(HandlerTable::load(std::string(QVP_SHARE_DIR) + "/handlers.conf")),
      rows(t));
  EXPECT_STREQ(t.program_for("nc4"), "qvp_nc_handler");
  EXPECT_STREQ(t.response_for("vorn"), "DataDDS");
  EXPECT_EQ(t.program_for("NC"), nullptr);
  EXPECT_EQ(t.response_for("HTML"), nullptr);
}

TEST(HandlerTableTest, ParsesCommentsBlanksTabsAndAliases) {
  for (const auto& c : data_cases("parsed_tables.txt"))
    EXPECT_EQ(rows(HandlerTable::parse(c[0])), c[1]) << c[0];
}

// The cases file, and two tables too large to write there: an over-long name
// and a table over the size limit.
TEST(HandlerTableTest, RefusesMalformedTablesWithTheLine) {
  const std::string ok = "handler nc h\nsuffix das das\n";
  auto cases = data_cases("refused_tables.txt");
  cases.push_back(
      {"3", "invalid", ok + "handler " + std::string(256, 'x') + " h\n"});
  cases.push_back(
      {"0", "larger than", ok + std::string(HandlerTable::kMaxBytes, '#')});
  for (const auto& c : cases) {
    SCOPED_TRACE(c[2].substr(0, 120));
    test::expect_throw<HandlerTable::ParseError>(
        [&] { HandlerTable::parse(c[2]); },
        [&](const HandlerTable::ParseError& e) {
          EXPECT_EQ(e.line, std::stoul(c[0]));
          EXPECT_NE(e.message.find(c[1]), std::string::npos) << e.message;
        });
  }
}

TEST(HandlerTableTest, AcceptsATableOfExactlyTheLargestSize) {
  std::string text = "handler nc h\nsuffix das das\n";
  text += std::string(HandlerTable::kMaxBytes - text.size() - 1, '#') + "\n";
  ASSERT_EQ(text.size(), HandlerTable::kMaxBytes);
  EXPECT_STREQ(HandlerTable::parse(text).program_for("nc"), "h");
}

// map_request over a fake environment with a data set in a temporary root.
class MapWithTableTest : public ::testing::Test {
 protected:
  MapWithTableTest() {
    dir.write("data/a.grib2", "x");
    dir.write("data/b.nc", "x");
    env = {{"QVP_DATA_ROOT", dir / "data"},
           {"QVP_HANDLER_DIR", "/h"},
           {"REQUEST_SCHEME", "http"},
           {"HTTP_HOST", "localhost"},
           {"SCRIPT_NAME", "/qvp"}};
  }
  HandlerCall map(const std::string& path_info) {
    env["PATH_INFO"] = path_info;
    return map_request(
        [this](const char* name) -> const char* {
          auto it = env.find(name);
          return it == env.end() ? nullptr : it->second.c_str();
        },
        "d/1");
  }
  // The status of the Refusal that mapping `path_info` throws.
  int refused(const std::string& path_info) {
    int status = 0;
    expect_throw<Refusal>([&] { map(path_info); },
                          [&](const Refusal& r) { status = r.status; });
    return status;
  }
  TempDir dir;
  std::map<std::string, std::string> env;
};

TEST_F(MapWithTableTest, TableFromQvpConfigAddsExtensionsAndAliases) {
  env["QVP_CONFIG"] = dir.write("t.conf",
                                "handler grib2 qvp_grib_handler\n"
                                "handler nc /opt/nc/handler\n"
                                "suffix data DataDDS\nsuffix das das\n");
  const HandlerCall grib = map("/a.grib2.data");
  EXPECT_EQ(grib.program, "/h/qvp_grib_handler");
  EXPECT_EQ(grib.argv[1], "-o");
  EXPECT_EQ(grib.argv[2], "DataDDS");
  const HandlerCall nc = map("/b.nc.das");
  EXPECT_EQ(nc.program, "/opt/nc/handler");
  EXPECT_EQ(nc.argv[0], "/opt/nc/handler");
  EXPECT_EQ(nc.argv[2], "das");
  EXPECT_EQ(refused("/b.nc.vorn"), 400);  // not in this table
}

TEST_F(MapWithTableTest, WithoutQvpConfigTheBuiltinTableApplies) {
  for (const char* unset : {"", static_cast<const char*>(nullptr)}) {
    if (unset)
      env["QVP_CONFIG"] = unset;
    else
      env.erase("QVP_CONFIG");
    EXPECT_EQ(map("/b.nc.vorn").argv[2], "DataDDS");
    EXPECT_EQ(refused("/a.grib2.das"), 404);
  }
}

// The cases file, and a table over the size limit.
TEST_F(MapWithTableTest, MalformedOrMissingTableIsA500WithALogLine) {
  auto cases = data_cases("malformed_tables.txt");
  cases.push_back({"t.conf is malformed: larger than 65536 bytes",
                   std::string(HandlerTable::kMaxBytes + 1, '#')});
  for (const auto& c : cases) {
    TempDir conf_dir;
    if (c[1] == "<directory>")
      conf_dir.mkdir("t.conf");
    else if (c[1] != "<absent>")
      conf_dir.write("t.conf", c[1]);
    env["QVP_CONFIG"] = conf_dir / "t.conf";
    testing::internal::CaptureStderr();
    SCOPED_TRACE(env["QVP_CONFIG"]);
    test::expect_throw<Refusal>(
        [&] { map("/b.nc.das"); },
        [&](const Refusal& r) {
          EXPECT_EQ(r.status, 500);
          EXPECT_EQ(r.message, "The server's handler table is malformed");
        });
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find(c[0]), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
  }
}

}  // namespace
}  // namespace test
}  // namespace libqvp
