// The declaration text and the XML element of every kind of variable, whole
// and constrained, and the FILE* form against the stream form.
#include <gtest/gtest.h>
#include <libqvp/Array.h>
#include <libqvp/Byte.h>
#include <libqvp/Float32.h>
#include <libqvp/Float64.h>
#include <libqvp/Grid.h>
#include <libqvp/Int16.h>
#include <libqvp/Int32.h>
#include <libqvp/Sequence.h>
#include <libqvp/Str.h>
#include <libqvp/Structure.h>

#include <cstdio>
#include <sstream>

#include "CaptureFile.h"

using libqvp::Array;
using libqvp::BaseType;

namespace {

template <typename S>
std::unique_ptr<Array> array(const std::string& name,
                             std::vector<std::pair<int, std::string>> dims) {
  auto a = std::make_unique<Array>(name, std::make_unique<S>(name));
  for (const auto& d : dims) a->append_dim(d.first, d.second);
  return a;
}

// The variables of the example data set, in order.
std::vector<std::unique_ptr<BaseType>> demo() {
  std::vector<std::unique_ptr<BaseType>> vars;
  vars.push_back(std::make_unique<libqvp::Int32>("count"));
  vars.push_back(std::make_unique<libqvp::Str>("title"));
  vars.push_back(array<libqvp::Float64>("depth", {{4, "depth"}}));
  auto station = std::make_unique<libqvp::Structure>("station");
  station->add_var(std::make_unique<libqvp::Int16>("code"));
  station->add_var(array<libqvp::Float32>("level", {{3, ""}}));
  vars.push_back(std::move(station));
  auto obs = std::make_unique<libqvp::Sequence>("obs");
  obs->add_var(std::make_unique<libqvp::Str>("id"));
  obs->add_var(std::make_unique<libqvp::Float64>("time"));
  vars.push_back(std::move(obs));
  auto sst = std::make_unique<libqvp::Grid>("sst");
  sst->set_array(array<libqvp::Float32>("sst", {{2, "time"}, {3, "lat"}}));
  sst->add_map(array<libqvp::Float64>("time", {{2, "time"}}));
  sst->add_map(array<libqvp::Float32>("lat", {{3, "lat"}}));
  vars.push_back(std::move(sst));
  return vars;
}

std::string decl(const std::vector<std::unique_ptr<BaseType>>& vars,
                 bool constrained, bool constraint_info = false) {
  std::ostringstream out;
  for (const auto& v : vars)
    v->print_decl(out, "    ", true, constraint_info, constrained);
  return out.str();
}

BaseType& find(std::vector<std::unique_ptr<BaseType>>& vars,
               const std::string& name) {
  for (auto& v : vars)
    if (v->name() == name) return *v;
  throw std::logic_error("no " + name);
}

TEST(DeclPrintTest, WholeDeclarations) {
  auto vars = demo();
  EXPECT_EQ(decl(vars, false),
            "    Int32 count;\n"
            "    String title;\n"
            "    Float64 depth[depth = 4];\n"
            "    Structure {\n"
            "        Int16 code;\n"
            "        Float32 level[3];\n"
            "    } station;\n"
            "    Sequence {\n"
            "        String id;\n"
            "        Float64 time;\n"
            "    } obs;\n"
            "    Grid {\n"
            "      Array:\n"
            "        Float32 sst[time = 2][lat = 3];\n"
            "      Maps:\n"
            "        Float64 time[time = 2];\n"
            "        Float32 lat[lat = 3];\n"
            "    } sst;\n");
}

TEST(DeclPrintTest, ConstrainedDeclarations) {
  struct Case {
    const char* what;
    std::function<void(std::vector<std::unique_ptr<BaseType>>&)> select;
    const char* expected;
  };
  const Case cases[] = {
      {"nothing", [](auto&) {}, ""},
      {"hyperslab",
       [](auto& v) {
         auto& d = static_cast<Array&>(find(v, "depth"));
         d.set_send_p(true);
         d.add_constraint(0, 1, 2, 3);
       },
       "    Float64 depth[depth = 2];\n"},
      {"one structure member",
       [](auto& v) {
         auto& s = static_cast<libqvp::Structure&>(find(v, "station"));
         auto* level = static_cast<Array*>(s.var("level"));
         level->set_send_p(true);
         level->add_constraint(0, 2, 1, 2);
       },
       "    Structure {\n"
       "        Float32 level[1];\n"
       "    } station;\n"},
      {"grid array and one map",
       [](auto& v) {
         auto& g = static_cast<libqvp::Grid&>(find(v, "sst"));
         g.array()->set_send_p(true);
         g.array()->add_constraint(1, 0, 2, 2);
         g.map("lat")->set_send_p(true);
         g.map("lat")->add_constraint(0, 0, 2, 2);
       },
       "    Grid {\n"
       "      Array:\n"
       "        Float32 sst[time = 2][lat = 2];\n"
       "      Maps:\n"
       "        Float32 lat[lat = 2];\n"
       "    } sst;\n"},
      {"grid array alone keeps Maps:",
       [](auto& v) {
         static_cast<libqvp::Grid&>(find(v, "sst")).array()->set_send_p(true);
       },
       "    Grid {\n"
       "      Array:\n"
       "        Float32 sst[time = 2][lat = 3];\n"
       "      Maps:\n"
       "    } sst;\n"},
      {"grid maps only: a structure",
       [](auto& v) {
         auto& g = static_cast<libqvp::Grid&>(find(v, "sst"));
         g.map("time")->set_send_p(true);
         g.map("time")->add_constraint(0, 1, 1, 1);
       },
       "    Structure {\n"
       "        Float64 time[time = 1];\n"
       "    } sst;\n"},
      {"declaration order kept",
       [](auto& v) {
         find(v, "obs").set_send_p(true);
         find(v, "count").set_send_p(true);
       },
       "    Int32 count;\n"
       "    Sequence {\n"
       "        String id;\n"
       "        Float64 time;\n"
       "    } obs;\n"},
  };
  for (const auto& c : cases) {
    auto vars = demo();
    c.select(vars);
    EXPECT_EQ(decl(vars, true), c.expected) << c.what;
  }
}

TEST(DeclPrintTest, NamesAreEscaped) {
  libqvp::Int32 blank("sea temp");
  auto a = array<libqvp::Byte>("a;b", {{2, "x y"}, {5, ""}});
  std::ostringstream out;
  blank.print_decl(out, "", true);
  a->print_decl(out, "  ", true);
  EXPECT_EQ(out.str(),
            "Int32 sea%20temp;\n"
            "  Byte a%3Bb[x%20y = 2][5];\n");
}

TEST(DeclPrintTest, FlagsShapeTheEnding) {
  libqvp::Int32 count("count");
  count.set_send_p(true);
  auto depth = array<libqvp::Float64>("depth", {{4, "depth"}});
  depth->set_send_p(true);
  depth->add_constraint(0, 0, 2, 3);
  static const struct {
    bool semi, info;
    const char* count_text;
    const char* depth_text;
  } cases[] = {
      {true, false, "Int32 count;\n", "Float64 depth[depth = 4];\n"},
      {false, false, "Int32 count", "Float64 depth[depth = 4]"},
      {true, true, "Int32 count; // selected\n",
       "Float64 depth[depth = 4]; // selected [0:2:3]\n"},
  };
  for (const auto& c : cases) {
    std::ostringstream a, b;
    count.print_decl(a, "", c.semi, c.info, false);
    depth->print_decl(b, "", c.semi, c.info, false);
    EXPECT_EQ(a.str(), c.count_text) << c.semi << c.info;
    EXPECT_EQ(b.str(), c.depth_text) << c.semi << c.info;
  }
}

TEST(DeclPrintTest, FileFormWritesTheSameBytes) {
  auto vars = demo();
  static_cast<libqvp::Grid&>(find(vars, "sst")).map(0)->set_send_p(true);
  for (bool constrained : {false, true}) {
    EXPECT_EQ(libqvp::test::capture_file([&](FILE* fp) {
                for (const auto& v : vars)
                  v->print_decl(fp, "    ", true, false, constrained);
              }),
              decl(vars, constrained))
        << constrained;
  }
}

std::string xml(const BaseType& v, bool constrained) {
  std::ostringstream out;
  v.print_xml(out, "    ", constrained);
  return out.str();
}

TEST(DeclPrintTest, XmlElements) {
  auto vars = demo();
  find(vars, "depth").get_attr_table().append_attr("units", "String", "m");
  find(vars, "count")
      .get_attr_table()
      .append_attr("note", "String", "a<b&\"c\"");
  EXPECT_EQ(xml(find(vars, "depth"), false),
            "    <Array name=\"depth\">\n"
            "        <Attribute name=\"units\" type=\"String\">\n"
            "            <value>m</value>\n"
            "        </Attribute>\n"
            "        <Float64/>\n"
            "        <dimension name=\"depth\" size=\"4\"/>\n"
            "    </Array>\n");
  EXPECT_EQ(xml(find(vars, "title"), false), "    <String name=\"title\"/>\n");
  EXPECT_EQ(xml(find(vars, "station"), false),
            "    <Structure name=\"station\">\n"
            "        <Int16 name=\"code\"/>\n"
            "        <Array name=\"level\">\n"
            "            <Float32/>\n"
            "            <dimension size=\"3\"/>\n"
            "        </Array>\n"
            "    </Structure>\n");
  EXPECT_EQ(xml(find(vars, "sst"), false),
            "    <Grid name=\"sst\">\n"
            "        <Array name=\"sst\">\n"
            "            <Float32/>\n"
            "            <dimension name=\"time\" size=\"2\"/>\n"
            "            <dimension name=\"lat\" size=\"3\"/>\n"
            "        </Array>\n"
            "        <Map name=\"time\">\n"
            "            <Float64/>\n"
            "            <dimension name=\"time\" size=\"2\"/>\n"
            "        </Map>\n"
            "        <Map name=\"lat\">\n"
            "            <Float32/>\n"
            "            <dimension name=\"lat\" size=\"3\"/>\n"
            "        </Map>\n"
            "    </Grid>\n");
  const std::string count = xml(find(vars, "count"), false);
  EXPECT_NE(count.find("&lt;b&amp;&quot;c&quot;"), std::string::npos) << count;
}

TEST(DeclPrintTest, ConstrainedXmlShowsOnlyTheSelection) {
  auto vars = demo();
  EXPECT_EQ(xml(find(vars, "count"), true), "");
  auto& g = static_cast<libqvp::Grid&>(find(vars, "sst"));
  g.map("lat")->set_send_p(true);
  g.map("lat")->add_constraint(0, 1, 1, 2);
  EXPECT_EQ(xml(g, true),
            "    <Structure name=\"sst\">\n"
            "        <Array name=\"lat\">\n"
            "            <Float32/>\n"
            "            <dimension name=\"lat\" size=\"2\"/>\n"
            "        </Array>\n"
            "    </Structure>\n");
  auto& s = static_cast<libqvp::Structure&>(find(vars, "station"));
  s.var("code")->set_send_p(true);
  EXPECT_EQ(xml(s, true),
            "    <Structure name=\"station\">\n"
            "        <Int16 name=\"code\"/>\n"
            "    </Structure>\n");
}

}  // namespace
