// AttrTable: value checks against types, containers, merging all or
// nothing, the text form and XML escaping.
#include <gtest/gtest.h>
#include <libqvp/AttrTable.h>
#include <libqvp/Error.h>

#include <sstream>

#include "ExpectError.h"

namespace libqvp {
namespace {

std::string text_of(const AttrTable& t) {
  std::ostringstream out;
  t.print(out, "");
  return out.str();
}

std::string xml_of(const AttrTable& t) {
  std::ostringstream out;
  t.print_xml(out, "  ");
  return out.str();
}

TEST(AttrTableTest, AcceptsValuesThatFitTheType) {
  static const struct {
    const char* type;
    const char* value;
  } cases[] = {{"Byte", "0"},
               {"Byte", "255"},
               {"Int16", "-32768"},
               {"Int16", "32767"},
               {"UInt16", "65535"},
               {"Int32", "-2147483648"},
               {"Int32", "+2147483647"},
               {"UInt32", "4294967295"},
               {"Float32", "3.4e38"},
               {"Float32", "-999"},
               {"Float32", "NaN"},
               {"Float64", "-Inf"},
               {"Float64", "1.5e-300"},
               {"Float64", ".5"},
               {"String", ""},
               {"String", "any \"text\"\n"},
               {"Url", "http://x/?a=1&b=2"},
               {"float64", "40"},
               {"STRING", "x"}};
  for (const auto& c : cases) {
    AttrTable t;
    EXPECT_NO_THROW(t.append_attr("a", c.type, c.value))
        << c.type << " " << c.value;
  }
}

TEST(AttrTableTest, RejectsValuesThatDoNotFitTheType) {
  static const struct {
    const char* type;
    const char* value;
    const char* message;
  } cases[] = {
      {"Byte", "256", "value '256' of attribute 'a' is out of range for Byte"},
      {"Byte", "-1", "value '-1' of attribute 'a' is out of range for Byte"},
      {"Int16", "32768",
       "value '32768' of attribute 'a' is out of range for Int16"},
      {"UInt16", "-1",
       "value '-1' of attribute 'a' is out of range for UInt16"},
      {"Int32", "2147483648",
       "value '2147483648' of attribute 'a' is out of range for Int32"},
      {"UInt32", "4294967296",
       "value '4294967296' of attribute 'a' is out of range for UInt32"},
      {"UInt32", "99999999999999999999",
       "value '99999999999999999999' of attribute 'a' is out of range for "
       "UInt32"},
      {"Int32", "1.5",
       "value '1.5' of attribute 'a' is not an integer for Int32"},
      {"Int32", "", "value '' of attribute 'a' is not an integer for Int32"},
      {"Int32", "12abc",
       "value '12abc' of attribute 'a' is not an integer for Int32"},
      {"Int32", "+-1",
       "value '+-1' of attribute 'a' is not an integer for Int32"},
      {"Float32", "3.5e38",
       "value '3.5e38' of attribute 'a' is out of range for Float32"},
      {"Float64", "1e999",
       "value '1e999' of attribute 'a' is out of range for Float64"},
      {"Float64", "1.2.3",
       "value '1.2.3' of attribute 'a' is not a number for Float64"},
      {"Float64", "degC",
       "value 'degC' of attribute 'a' is not a number for Float64"},
      {"Int64", "1", "'Int64' is not an attribute type"},
      {"Structure", "1", "'Structure' is not an attribute type"},
      {"Container", "1", "'Container' is not an attribute type"}};
  for (const auto& c : cases) {
    AttrTable t;
    SCOPED_TRACE(testing::Message() << c.type << " '" << c.value << "'");
    test::expect_throw<Error>([&] { t.append_attr("a", c.type, c.value); },
                              [&](const Error& e) {
                                EXPECT_EQ(e.get_error_code(), type_mismatch)
                                    << c.type << " " << c.value;
                                EXPECT_EQ(e.get_error_message(), c.message);
                              });
    EXPECT_TRUE(t.empty()) << c.type << " " << c.value;
  }
}

TEST(AttrTableTest, AppendsValuesAndKeepsTheCanonicalTypeName) {
  AttrTable t;
  t.append_attr("valid_range", "float64", "0");
  t.append_attr("valid_range", "Float64", "40");
  const AttrTable::Entry* e = t.find("valid_range");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->type, "Float64");
  EXPECT_EQ(e->values, (std::vector<std::string>{"0", "40"}));
  EXPECT_THROW(t.append_attr("valid_range", "Int32", "1"), Error);
  EXPECT_EQ(t.find("valid_range")->values.size(), 2u);
}

TEST(AttrTableTest, KeepsAttributesAndContainersApart) {
  AttrTable t;
  t.append_attr("units", "String", "K");
  AttrTable* c = t.append_container("sst");
  EXPECT_EQ(t.append_container("sst"), c);
  EXPECT_EQ(t.find_container("units"), nullptr);
  EXPECT_THROW(t.append_container("units"), Error);
  EXPECT_THROW(t.append_attr("sst", "String", "x"), Error);
  EXPECT_EQ(t.size(), 2u);
}

TEST(AttrTableTest, CopiesDeeply) {
  AttrTable t;
  t.append_container("a")->append_attr("x", "Int32", "1");
  AttrTable copy(t);
  copy.find_container("a")->append_attr("x", "Int32", "2");
  EXPECT_EQ(t.find_container("a")->find("x")->values.size(), 1u);
  EXPECT_EQ(copy.find_container("a")->find("x")->values.size(), 2u);
}

TEST(AttrTableTest, MergesRecursively) {
  AttrTable t;
  t.append_container("sst")->append_attr("units", "String", "degC");
  AttrTable more;
  more.append_container("sst")->append_attr("units", "String", "K");
  more.find_container("sst")->append_attr("scale", "Float32", "0.5");
  more.append_attr("title", "String", "t");
  t.merge(more);
  EXPECT_EQ(text_of(t),
            "sst {\n"
            "    String units \"degC\", \"K\";\n"
            "    Float32 scale 0.5;\n"
            "}\n"
            "String title \"t\";\n");
}

TEST(AttrTableTest, MergeChangesNothingOnATypeClash) {
  AttrTable t;
  t.append_container("sst")->append_attr("units", "String", "degC");
  AttrTable more;
  more.append_attr("new", "Int32", "1");
  more.append_container("sst")->append_attr("units", "Int32", "3");
  const std::string before = text_of(t);
  EXPECT_THROW(t.merge(more), Error);
  EXPECT_EQ(text_of(t), before);
}

TEST(AttrTableTest, PrintsQuotedEscapedTextAndEscapedNames) {
  AttrTable t;
  t.append_attr("a b", "String", "say \"hi\" \\ bye");
  t.append_attr("u", "Url", "http://x/");
  t.append_attr("n", "Int16", "-3");
  t.append_attr("n", "Int16", "4");
  t.append_container("c;d")->append_attr("e", "Byte", "7");
  EXPECT_EQ(text_of(t),
            "String a%20b \"say \\\"hi\\\" \\\\ bye\";\n"
            "Url u \"http://x/\";\n"
            "Int16 n -3, 4;\n"
            "c%3Bd {\n"
            "    Byte e 7;\n"
            "}\n");
}

TEST(AttrTableTest, PrintsXml) {
  AttrTable t;
  t.append_attr("units", "String", "degC");
  t.append_attr("range", "Float64", "0");
  t.append_attr("range", "Float64", "40");
  t.append_container("c")->append_attr("q", "String", "<&>");
  EXPECT_EQ(xml_of(t),
            "  <Attribute name=\"units\" type=\"String\">\n"
            "      <value>degC</value>\n"
            "  </Attribute>\n"
            "  <Attribute name=\"range\" type=\"Float64\">\n"
            "      <value>0</value>\n"
            "      <value>40</value>\n"
            "  </Attribute>\n"
            "  <Attribute name=\"c\" type=\"Container\">\n"
            "      <Attribute name=\"q\" type=\"String\">\n"
            "          <value>&lt;&amp;&gt;</value>\n"
            "      </Attribute>\n"
            "  </Attribute>\n");
}

TEST(AttrTableTest, XmlEscapeRepairsWhatXmlCannotCarry) {
  static const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain", "plain"},
      {"&<>\"'", "&amp;&lt;&gt;&quot;&apos;"},
      {"a\tb\nc\rd", "a&#x9;b&#xA;c&#xD;d"},
      {std::string("x\0y\x01\x1F", 5), "x&#xFFFD;y&#xFFFD;&#xFFFD;"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
       "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"caf\xE9", "caf&#xE9;"},                          // Latin-1
      {"\xC0\xAF", "&#xC0;&#xAF;"},                      // overlong '/'
      {"\xED\xA0\x80", "&#xED;&#xA0;&#x80;"},            // surrogate
      {"\xF4\x90\x80\x80", "&#xF4;&#x90;&#x80;&#x80;"},  // past U+10FFFF
      {"\xEF\xBF\xBF", "&#xEF;&#xBF;&#xBF;"},            // U+FFFF
      {"\xE2\x82", "&#xE2;&#x82;"}};                     // truncated
  for (const auto& c : cases)
    EXPECT_EQ(AttrTable::xml_escape(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace libqvp
