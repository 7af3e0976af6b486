// AttrTable: value checks against types, containers, merging all or
// nothing, the text form and XML escaping.
#include "CoreTest.h"

namespace libqvp::test {

std::string xml_of(const AttrTable& t) {
  std::ostringstream out;
  t.print_xml(out, "  ");
  return out.str();
}

TEST(AttrTableTest, AcceptsValuesThatFitTheType) {
  for (const auto& c : data_cases("attr_values.txt")) {
    AttrTable t;
    EXPECT_NO_THROW(t.append_attr("a", c.at(0), c.at(1))) << c.at(0) << c.at(1);
  }
}

TEST(AttrTableTest, RejectsValuesThatDoNotFitTheType) {
  for (const auto& c : data_cases("attr_errors.txt")) {
    SCOPED_TRACE(c.at(0) + " '" + c.at(1) + "'");
    AttrTable t;
    expect_error([&] { t.append_attr("a", c.at(0), c.at(1)); }, type_mismatch,
                 c.at(2));
    EXPECT_TRUE(t.empty());
  }
}

// Values append under the canonical type name; attributes and containers
// keep apart; a copy is deep.
TEST(AttrTableTest, AppendsValuesKeepsContainersApartAndCopiesDeeply) {
  AttrTable t;
  t.append_attr("valid_range", "float64", "0");
  t.append_attr("valid_range", "Float64", "40");
  const AttrTable::Entry* e = t.find("valid_range");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->type, "Float64");
  EXPECT_EQ(e->values, (std::vector<std::string>{"0", "40"}));
  EXPECT_THROW(t.append_attr("valid_range", "Int32", "1"), Error);
  EXPECT_EQ(t.find("valid_range")->values.size(), 2u);

  AttrTable* c = t.append_container("sst");
  EXPECT_EQ(t.append_container("sst"), c);
  EXPECT_EQ(t.find_container("valid_range"), nullptr);
  EXPECT_THROW(t.append_container("valid_range"), Error);
  EXPECT_THROW(t.append_attr("sst", "String", "x"), Error);
  EXPECT_EQ(t.size(), 2u);

  c->append_attr("x", "Int32", "1");
  AttrTable copy(t);
  copy.find_container("sst")->append_attr("x", "Int32", "2");
  EXPECT_EQ(t.find_container("sst")->find("x")->values.size(), 1u);
  EXPECT_EQ(copy.find_container("sst")->find("x")->values.size(), 2u);
}

TEST(AttrTableTest, MergesRecursivelyAndChangesNothingOnATypeClash) {
  AttrTable t;
  t.append_container("sst")->append_attr("units", "String", "degC");
  AttrTable more;
  more.append_container("sst")->append_attr("units", "String", "K");
  more.find_container("sst")->append_attr("scale", "Float32", "0.5");
  more.append_attr("title", "String", "t");
  t.merge(more);
  const char* const merged =
      "sst {\n    String units \"degC\", \"K\";\n    Float32 scale 0.5;\n}\n"
      "String title \"t\";\n";
  EXPECT_EQ(attr_text(t), merged);
  AttrTable clash;
  clash.append_attr("new", "Int32", "1");
  clash.append_container("sst")->append_attr("units", "Int32", "3");
  EXPECT_THROW(t.merge(clash), Error);
  EXPECT_EQ(attr_text(t), merged);
}

TEST(AttrTableTest, PrintsQuotedEscapedTextAndEscapedNames) {
  AttrTable t;
  t.append_attr("a b", "String", "say \"hi\" \\ bye");
  t.append_attr("u", "Url", "http://x/");
  t.append_attr("n", "Int16", "-3");
  t.append_attr("n", "Int16", "4");
  t.append_container("c;d")->append_attr("e", "Byte", "7");
  EXPECT_EQ(attr_text(t),
            "String a%20b \"say \\\"hi\\\" \\\\ bye\";\nUrl u \"http://x/\";\n"
            "Int16 n -3, 4;\nc%3Bd {\n    Byte e 7;\n"
            "}\n");
}

TEST(AttrTableTest, PrintsXml) {
  AttrTable t;
  t.append_attr("units", "String", "degC");
  t.append_attr("range", "Float64", "0");
  t.append_attr("range", "Float64", "40");
  t.append_container("c")->append_attr("q", "String", "<&>");
  EXPECT_EQ(xml_of(t), data_file("attributes.xml"));
}

TEST(AttrTableTest, XmlEscapeRepairsWhatXmlCannotCarry) {
  for (const auto& c : data_cases("xml_escape.txt"))
    EXPECT_EQ(AttrTable::xml_escape(c.at(0)), c.at(1)) << c.at(0);
}

}  // namespace libqvp::test
