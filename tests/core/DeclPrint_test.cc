// The declaration text and the XML element of every kind of variable, whole
// and constrained, and the FILE* form against the stream form.
#include "CoreTest.h"

namespace libqvp::test {

const char* const kDecls =
    "    Int32 count;\n    String title;\n    Float64 depth[depth = 4];\n"
    "    Structure {\n        Int16 code;\n        Float32 level[3];\n"
    "    } station;\n    Sequence {\n        String id;\n"
    "        Float64 time;\n    } obs;\n    Grid {\n      Array:\n"
    "        Float32 sst[time = 2][lat = 3];\n      Maps:\n"
    "        Float64 time[time = 2];\n        Float32 lat[lat = 3];\n"
    "    } sst;\n";

class DeclPrintTest : public ::testing::Test {
 public:
  // The declarations of every variable, through both forms.
  std::string decl(bool constrained) {
    return both_forms([&](auto&& out) {
      for (auto it = d_dds->var_begin(); it != d_dds->var_end(); ++it)
        (*it)->print_decl(out, "    ", true, false, constrained);
    });
  }
  std::string xml(const char* name, bool constrained) {
    std::ostringstream out;
    d_dds->var(name)->print_xml(out, "    ", constrained);
    return out.str();
  }
  Array& arr(const char* path) {
    return dynamic_cast<Array&>(*d_dds->var(path));
  }
  Grid& sst() { return dynamic_cast<Grid&>(*d_dds->var("sst")); }

  std::unique_ptr<DDS> d_dds =
      parsed_dds(std::string("Dataset {\n") + kDecls + "} demo;\n");
};

// The whole declarations; constrained ones are checked with the constraint
// evaluator, which selects what they print.
TEST_F(DeclPrintTest, WholeDeclarations) { EXPECT_EQ(decl(false), kDecls); }

// Names are escaped as the DDS parser's round trips show; the flags shape
// the ending.
TEST_F(DeclPrintTest, FlagsShapeTheEnding) {
  d_dds->var("count")->set_send_p(true);
  arr("depth").set_send_p(true);
  arr("depth").add_constraint(0, 0, 2, 3);
  // clang-format off
  static const struct { bool semi, info; const char* count; const char* depth; } cases[] = {
      {true, false, "Int32 count;\n", "Float64 depth[depth = 4];\n"},
      {false, false, "Int32 count", "Float64 depth[depth = 4]"},
      {true, true, "Int32 count; // selected\n", "Float64 depth[depth = 4]; // selected [0:2:3]\n"},
  };
  // clang-format on
  for (const auto& c : cases) {
    std::ostringstream a, b;
    d_dds->var("count")->print_decl(a, "", c.semi, c.info, false);
    arr("depth").print_decl(b, "", c.semi, c.info, false);
    EXPECT_EQ(a.str(), c.count) << c.semi << c.info;
    EXPECT_EQ(b.str(), c.depth) << c.semi << c.info;
  }
}

TEST_F(DeclPrintTest, XmlElements) {
  d_dds->var("depth")->get_attr_table().append_attr("units", "String", "m");
  d_dds->var("count")->get_attr_table().append_attr("note", "String",
                                                    "a<b&\"c\"");
  EXPECT_EQ(xml("depth", false),
            "    <Array name=\"depth\">\n"
            "        <Attribute name=\"units\" type=\"String\">\n"
            "            <value>m</value>\n        </Attribute>\n"
            "        <Float64/>\n"
            "        <dimension name=\"depth\" size=\"4\"/>\n"
            "    </Array>\n");
  EXPECT_EQ(xml("title", false), "    <String name=\"title\"/>\n");
  EXPECT_EQ(xml("station", false),
            "    <Structure name=\"station\">\n        <Int16 name=\"code\"/>\n"
            "        <Array name=\"level\">\n            <Float32/>\n"
            "            <dimension size=\"3\"/>\n        </Array>\n"
            "    </Structure>\n");
  EXPECT_EQ(xml("sst", false),
            "    <Grid name=\"sst\">\n        <Array name=\"sst\">\n"
            "            <Float32/>\n"
            "            <dimension name=\"time\" size=\"2\"/>\n"
            "            <dimension name=\"lat\" size=\"3\"/>\n"
            "        </Array>\n        <Map name=\"time\">\n"
            "            <Float64/>\n"
            "            <dimension name=\"time\" size=\"2\"/>\n"
            "        </Map>\n        <Map name=\"lat\">\n"
            "            <Float32/>\n"
            "            <dimension name=\"lat\" size=\"3\"/>\n        </Map>\n"
            "    </Grid>\n");
  EXPECT_NE(xml("count", false).find("&lt;b&amp;&quot;c&quot;"),
            std::string::npos);
}

TEST_F(DeclPrintTest, ConstrainedXmlShowsOnlyTheSelection) {
  EXPECT_EQ(xml("count", true), "");
  sst().map("lat")->set_send_p(true);
  sst().map("lat")->add_constraint(0, 1, 1, 2);
  EXPECT_EQ(xml("sst", true),
            "    <Structure name=\"sst\">\n        <Array name=\"lat\">\n"
            "            <Float32/>\n"
            "            <dimension name=\"lat\" size=\"2\"/>\n"
            "        </Array>\n"
            "    </Structure>\n");
  d_dds->var("station.code")->set_send_p(true);
  EXPECT_EQ(xml("station", true),
            "    <Structure name=\"station\">\n        <Int16 name=\"code\"/>\n"
            "    </Structure>\n");
}

}  // namespace libqvp::test
