// The parts of the NcML reader that work on text alone: CF time units and
// dates, dates in file names, typed values, the XML reader's bounds, and
// the index's encoding (a torn or foreign index must never decode).
#include <gtest/gtest.h>
#include <libqvp/Error.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ncml/CfTime.h"
#include "ncml/NcmlIndex.h"
#include "ncml/NcmlMembers.h"
#include "ncml/NcmlValues.h"
#include "ncml/XmlReader.h"

namespace libqvp {
namespace {

TEST(NcmlTimeTest, UnitsAndDates) {
  const struct {
    const char* text;
    bool ok;
    double unit_seconds, epoch_days;
  } cases[] = {
      {"days since 2020-01-01", true, 86400, 18262},
      {"hours since 2021-06-01 00:00", true, 3600, 18779},
      {"seconds since 1970-01-01T00:00:00Z", true, 1, 0},
      {"minutes since 1969-12-31 12:00:00", true, 60, -0.5},
      {"d since 2000-1-1", true, 86400, 10957},
      {"days since 1600-03-01", true, 86400, -135080},
      {"days since 2020-01-01 00:00:00 +01:00", false, 0, 0},
      {"fortnights since 2020-01-01", false, 0, 0},
      {"days after 2020-01-01", false, 0, 0},
      {"days since 2020-13-01", false, 0, 0},
      {"days since", false, 0, 0},
  };
  for (const auto& c : cases) {
    CfTimeUnits u;
    ASSERT_EQ(parse_cf_time_units(c.text, u), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(u.unit_seconds, c.unit_seconds) << c.text;
    EXPECT_DOUBLE_EQ(u.epoch / 86400, c.epoch_days) << c.text;
  }
  double t = 0;
  EXPECT_TRUE(parse_iso_time("2020-01-10T12:00Z", t));
  EXPECT_DOUBLE_EQ(t / 86400, 18271.5);
  EXPECT_FALSE(parse_iso_time("2020-01-10T12:00+02:00", t));
  EXPECT_FALSE(parse_iso_time("yesterday", t));
}

TEST(NcmlTimeTest, DatesInFileNames) {
  const struct {
    const char* mark;
    const char* name;
    bool ok;
    double days;
  } cases[] = {
      {"sst_#yyyyMMdd", "sst_20200105.nc", true, 18266},
      {"sst_#yyyyMMdd", "daily_sst_20200105_v2.nc", true, 18266},
      {"#yyyy-MM-dd'T'HH", "2020-01-05'T'12.nc", true, 18266.5},
      {"run#yyyyDDD", "run2020032.nc", true, 18293},  // 1 February
      {"sst_#yyyyMMdd", "sst_2020015.nc", false, 0},
      {"sst_#yyyyMMdd", "sst_20201305.nc", false, 0},
      {"sst_#yyyyMMdd", "wind_20200105.nc", false, 0},
  };
  for (const auto& c : cases) {
    double s = 0;
    ASSERT_EQ(date_from_name(c.mark, c.name, s), c.ok) << c.name;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(s / 86400, c.days) << c.name;
    }
  }
}

TEST(NcmlValuesTest, TypedValuesKeepTheirRange) {
  const struct {
    const char* type;
    const char* text;
    bool ok;
  } cases[] = {
      {"byte", "-128 127", true},     {"byte", "128", false},
      {"ubyte", "255", true},         {"ubyte", "-1", false},
      {"short", "1.5", false},        {"int", "2147483647", true},
      {"uint", "4294967296", false},  {"long", "9007199254740993", true},
      {"ulong", "-1", false},         {"float", "1e39", false},
      {"double", "1e300 -0.5", true}, {"int", "7 x", false},
  };
  for (const auto& c : cases) {
    NcmlAttribute a;
    a.name = "a";
    a.type = c.type;
    a.value = c.text;
    if (!c.ok) {
      EXPECT_THROW(attribute_of(a, ncml_type(c.type, true), ""), Error)
          << c.type << " " << c.text;
      continue;
    }
    const VirtualAttribute v = attribute_of(a, ncml_type(c.type, true), "");
    EXPECT_EQ(v.bytes.size(), v.count * value_bytes(v.type)) << c.text;
  }
  // A 64-bit value keeps every digit.
  NcmlAttribute big;
  big.name = "big";
  big.type = "long";
  big.value = "9007199254740993";
  int64_t got = 0;
  std::memcpy(&got, attribute_of(big, NC_INT64, "").bytes.data(), 8);
  EXPECT_EQ(got, 9007199254740993LL);
  EXPECT_EQ(split_values("1, 2\t3\n", ""),
            (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(split_values("a;;b;", ";"), (std::vector<std::string>{"a", "b"}));
}

TEST(NcmlValuesTest, ValuesMustFillTheShape) {
  VirtualVariable v;
  v.name = "v";
  v.type = NC_SHORT;
  NcmlValues values;
  values.present = true;
  values.text = "1 2 3";
  fill_values(values, 3, v, "");
  EXPECT_EQ(v.values.size(), 6u);
  EXPECT_THROW(fill_values(values, 4, v, ""), Error);
  values.regular = true;
  values.start = 10;
  values.increment = -20000;
  EXPECT_THROW(fill_values(values, 3, v, ""), Error);  // -39990 overflows
  values.increment = 5;
  values.npts = 2;
  EXPECT_THROW(fill_values(values, 3, v, ""), Error);
}

TEST(NcmlXmlTest, BoundsAndNamespaces) {
  std::string deep = "<netcdf>";
  for (size_t i = 0; i < kMaxNcmlDepth; ++i) deep += "<a>";
  for (size_t i = 0; i < kMaxNcmlDepth; ++i) deep += "</a>";
  deep += "</netcdf>";
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {deep, "nested deeper than 32"},
      {"<x:netcdf xmlns:x=\"urn:other\"/>", "foreign namespace"},
      {"<?xml version=\"1.0\"?>\n<!DOCTYPE netcdf>\n<netcdf/>",
       "a document type is not accepted"},
      {"<netcdf>&lt;&amp;&bogus;</netcdf>", "undefined entity"},
      {"", "no element found"},
  };
  for (const auto& c : cases) {
    try {
      read_xml(c.text, "d.ncml");
      ADD_FAILURE() << "accepted: " << c.text.substr(0, 60);
    } catch (const Error& e) {
      EXPECT_NE(e.get_error_message().find(c.message), std::string::npos)
          << e.get_error_message();
      EXPECT_EQ(e.get_error_message().rfind("\"d.ncml\" line ", 0), 0u);
    }
  }
  const XmlElement root = read_xml(
      "<netcdf xmlns=\"" + std::string(kNcmlNamespace) +
          "\" xmlns:xsi=\"urn:x\" xsi:schemaLocation=\"s\">\n"
          "  <attribute name=\"a\">text &amp; more</attribute></netcdf>",
      "d.ncml");
  ASSERT_EQ(root.children.size(), 1u);
  EXPECT_EQ(root.attributes.size(), 0u);  // the foreign attribute is left out
  EXPECT_EQ(root.children[0].text, "text & more");
  EXPECT_EQ(root.children[0].line, 2u);
  EXPECT_EQ(root.children[0].column, 3u);
}

TEST(NcmlIndexTest, EncodingRoundTripsAndTornIndexesFail) {
  NcmlIndex index;
  index.document = "/data/a.ncml";
  index.depends = {{"/data/a.ncml", {1, 2, 3, 4}},
                   {"/data/daily", {5, 6, 7, 8}}};
  index.kind = VirtualDataSet::Kind::join_existing;
  index.members = {
      {"/data/daily/a.nc", "daily/a.nc", {9, 10, 11, 12}, 0, 2, false, true},
      {"/data/daily/b.nc", "daily/b.nc", {13, 14, 15, 16}, 2, 3, true, false}};
  index.origins = {{"sst", ValueSource::joined, 0, "sst"},
                   {"lat", ValueSource::member, 1, "latitude"},
                   {"time", ValueSource::own, 0, ""}};
  index.image = std::string("\x89HDF\r\n\x1a\n", 8) + std::string(100, '\0');
  const std::string bytes = index.encode();
  NcmlIndex back;
  ASSERT_TRUE(back.decode(bytes));
  EXPECT_EQ(back.encode(), bytes);
  EXPECT_EQ(back.members[1].display, "daily/b.nc");
  EXPECT_TRUE(back.members[1].listed);
  EXPECT_FALSE(back.members[1].opened);
  EXPECT_EQ(back.origins[1].member_name, "latitude");
  EXPECT_EQ(back.depends[1].identity, (FileIdentity{5, 6, 7, 8}));
  for (size_t cut : {size_t{0}, size_t{10}, bytes.size() / 2, bytes.size() - 1})
    EXPECT_FALSE(NcmlIndex().decode(bytes.substr(0, cut))) << cut;
  EXPECT_FALSE(NcmlIndex().decode(bytes + "x"));
  std::string other = bytes;
  other[15] = '9';  // another version
  EXPECT_FALSE(NcmlIndex().decode(other));
  // A member number beyond the members is refused, not trusted.
  index.origins[1].member = 7;
  EXPECT_FALSE(NcmlIndex().decode(index.encode()));
}

}  // namespace
}  // namespace libqvp
