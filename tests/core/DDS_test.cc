// DDS: adding and finding variables, selection helpers, sequence tagging,
// attribute transfer from a DAS, and the FILE* and stream printers.
#include "CoreTest.h"

namespace libqvp::test {

class DDSTest : public ::testing::Test {
 protected:
  DDSTest() { d_dds.parse(d_text); }

  std::string path_of(const BaseType* v) const {
    std::string path;
    for (; v; v = v->get_parent())
      path = v->name() + (path.empty() ? "" : "." + path);
    return path;
  }

  const std::string d_text = data_file("nested.dds");
  DDS d_dds;
};

TEST_F(DDSTest, FindsVariablesByPath) {
  for (const auto& c : data_cases("dds_paths.txt")) {
    const BaseType* v = d_dds.var(c.at(0));
    EXPECT_EQ(v ? path_of(v) : "", c.at(1)) << c.at(0);
  }
}

TEST_F(DDSTest, AddVarReplacesInPlace) {
  d_dds.add_var(std::make_unique<Float64>("station"));
  d_dds.add_var(std::make_unique<Int32>("last"));
  std::vector<std::string> names;
  for (auto it = d_dds.var_begin(); it != d_dds.var_end(); ++it)
    names.push_back((*it)->name() + ":" + (*it)->type_name());
  EXPECT_EQ(names,
            (std::vector<std::string>{
                "count:Int32", "station:Float64", "obs:Sequence", "sst:Grid",
                "a.b:Int32", "a:Structure", "sp ace:Int32", "last:Int32"}));
}

TEST_F(DDSTest, MarkAllSelectsEveryMember) {
  d_dds.mark_all(true);
  EXPECT_TRUE(d_dds.var("obs.wrap.deep.n")->send_p());
  EXPECT_TRUE(d_dds.var("sst.time")->send_p());
  d_dds.mark_all(false);
  EXPECT_FALSE(d_dds.var("station.inner.x")->send_p());
  EXPECT_FALSE(d_dds.var("sst")->send_p());
}

TEST_F(DDSTest, TagsNestedSequencesBySelectedFields) {
  auto seq = [&](const char* path) {
    auto* s = dynamic_cast<Sequence*>(d_dds.var(path));
    EXPECT_NE(s, nullptr) << path;
    return s;
  };
  d_dds.mark_all(true);
  d_dds.tag_nested_sequences();
  EXPECT_FALSE(seq("obs")->is_leaf());
  EXPECT_TRUE(seq("obs.samples")->is_leaf());
  EXPECT_TRUE(seq("obs.wrap.deep")->is_leaf());

  // Only the id and a sequence inside a structure selected.
  d_dds.mark_all(false);
  seq("obs")->BaseType::set_send_p(true);
  d_dds.var("obs.id")->set_send_p(true);
  d_dds.tag_nested_sequences();
  EXPECT_TRUE(seq("obs")->is_leaf());
  d_dds.var("obs.wrap")->BaseType::set_send_p(true);
  seq("obs.wrap.deep")->set_send_p(true);
  d_dds.tag_nested_sequences();
  EXPECT_FALSE(seq("obs")->is_leaf());
}

TEST_F(DDSTest, TransfersAttributesToVariablesAndTheDataSet) {
  DAS das;
  das.parse(data_file("transfer.das"));
  d_dds.var("count")->get_attr_table().append_attr("units", "String", "one");
  d_dds.transfer_attributes(das);
  auto text = [&](const char* path) {
    return attr_text(d_dds.var(path)->get_attr_table());
  };
  EXPECT_EQ(text("count"), "String units \"one\", \"1\";\n");
  EXPECT_EQ(text("station.code"), "Int16 missing -1;\n");
  EXPECT_EQ(text("sst"),
            "String units \"degC\";\ntime {\n    String units \"days\";\n}\n");
  EXPECT_EQ(text("sst.time"), "String calendar \"gregorian\";\n");
  EXPECT_EQ(text("a.b"), "String which \"the variable named a.b\";\n");
  EXPECT_TRUE(d_dds.var("a")->get_attr_table().empty());
  EXPECT_EQ(attr_text(d_dds.get_attr_table()),
            "NC_GLOBAL {\n    String title \"T\";\n}\n"
            "unknown {\n    Int32 x 1;\n}\n"
            "String history \"made\";\n");
}

TEST_F(DDSTest, TransferChangesNothingOnATypeClash) {
  DAS das;
  das.parse(std::string(
      "Attributes { NC_GLOBAL { String t \"x\"; } count { Int32 units 1; } }"));
  d_dds.var("count")->get_attr_table().append_attr("units", "String", "one");
  EXPECT_THROW(d_dds.transfer_attributes(das), Error);
  EXPECT_TRUE(d_dds.get_attr_table().empty());
  EXPECT_EQ(d_dds.var("count")->get_attr_table().find("units")->values.size(),
            1u);
}

TEST_F(DDSTest, FileAndStreamPrintersWriteTheSameBytes) {
  d_dds.mark_all(false);
  d_dds.var("station.code")->set_send_p(true);
  d_dds.var("station")->BaseType::set_send_p(true);
  d_dds.var("count")->set_send_p(true);
  EXPECT_EQ(both_forms([&](auto&& out) { d_dds.print(out); }), d_text);
  EXPECT_EQ(
      both_forms([&](auto&& out) { d_dds.print_constrained(out); }),
      "Dataset {\n    Int32 count;\n    Structure {\n        Int16 code;\n"
      "    } station;\n} nested;\n");
  both_forms(
      [&](auto&& out) { d_dds.print_xml(out, true, "http://h/x.blob?count"); });
}

}  // namespace libqvp::test
