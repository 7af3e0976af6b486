// The declaration text and the XML element of every kind of variable, whole
// and constrained, and the FILE* form against the stream form.
#include "CoreTest.h"

namespace libqvp::test {

class DeclPrintTest : public ::testing::Test {
 public:
  // The XML elements of the variables `names`, one after the other.
  std::string xml(std::initializer_list<const char*> names, bool constrained) {
    std::ostringstream out;
    for (const char* name : names)
      d_dds->var(name)->print_xml(out, "    ", constrained);
    return out.str();
  }
  Array& arr(const char* path) {
    return dynamic_cast<Array&>(*d_dds->var(path));
  }
  Grid& sst() { return dynamic_cast<Grid&>(*d_dds->var("sst")); }

  const std::string d_text = data_file("demo.dds");
  std::unique_ptr<DDS> d_dds = parsed_dds(d_text);
};

// The whole declarations, through both forms: the file's lines between
// "Dataset {" and "} demo.nc;". Constrained ones are checked with the
// constraint evaluator, which selects what they print.
TEST_F(DeclPrintTest, WholeDeclarations) {
  const size_t from = d_text.find('\n') + 1;
  EXPECT_EQ(both_forms([&](auto&& out) {
              for (auto it = d_dds->var_begin(); it != d_dds->var_end(); ++it)
                (*it)->print_decl(out, "    ", true, false, false);
            }),
            d_text.substr(from, d_text.rfind("} demo.nc;") - from));
}

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
  EXPECT_EQ(xml({"depth", "title", "station", "sst"}, false),
            data_file("elements.xml"));
  EXPECT_NE(xml({"count"}, false).find("&lt;b&amp;&quot;c&quot;"),
            std::string::npos);
}

TEST_F(DeclPrintTest, ConstrainedXmlShowsOnlyTheSelection) {
  EXPECT_EQ(xml({"count", "sst", "station"}, true), "");
  sst().map("lat")->set_send_p(true);
  sst().map("lat")->add_constraint(0, 1, 1, 2);
  d_dds->var("station.code")->set_send_p(true);
  EXPECT_EQ(xml({"count", "sst", "station"}, true),
            data_file("elements_constrained.xml"));
}

}  // namespace libqvp::test
