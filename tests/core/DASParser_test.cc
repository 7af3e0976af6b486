// The DAS text form: canonical texts round-trip byte for byte, other
// spellings print canonically, and malformed text is refused with the line
// and the offending text, adding nothing.
#include "CoreTest.h"

namespace libqvp::test {

class DASParserTest : public ::testing::Test {
 protected:
  static std::string reprint(const std::string& text) {
    return reprinted<DAS>(text);
  }
  // The message of the Error that parsing `text` throws; "" if none.
  static std::string error_of(const std::string& text) {
    DAS das;
    try {
      das.parse(text);
    } catch (const Error& e) {
      EXPECT_EQ(e.get_error_code(), malformed_text) << text;
      EXPECT_TRUE(das.get_top_level().empty()) << text;
      return e.get_error_message();
    }
    return "";
  }
};

TEST_F(DASParserTest, CanonicalTextsRoundTrip) {
  EXPECT_EQ(reprint("Attributes {\n}\n"), "Attributes {\n}\n");
  for (const char* name : {"canonical_sst.das", "canonical_odd.das"}) {
    const std::string text = data_file(name);
    EXPECT_EQ(reprint(text), text) << name;
  }
}

TEST_F(DASParserTest, ReadsOtherSpellingsIntoTheCanonicalForm) {
  for (const auto& c : data_cases("das_spellings.txt")) {
    DAS das;
    das.parse(c.at(0));
    EXPECT_EQ(printed(das), c.at(1).empty() ? "Attributes {\n}\n" : c.at(1))
        << c.at(0);
  }
}

TEST_F(DASParserTest, RejectsMalformedTextNamingLineAndToken) {
  for (const auto& c : data_cases("das_errors.txt"))
    EXPECT_EQ(error_of(c.at(0)), c.at(1)) << c.at(0);
}

TEST_F(DASParserTest, BoundsNamesWordsAndNesting) {
  const std::string long_name(1025, 'n');
  EXPECT_EQ(error_of("Attributes { " + long_name + " { } }"),
            "line 1: name '" + std::string(40, 'n') +
                "...' is longer than 1024 bytes");
  EXPECT_EQ(
      error_of("Attributes { x { Int32 a " + std::string(5000, '1') + "; } }"),
      "line 1: word '" + std::string(40, '1') +
          "...' is longer than 4096 bytes");
  std::string ok = "Attributes ", deep = "Attributes ";
  for (int i = 0; i < 64; ++i) ok += "{ c ";
  ok += "{ }" + std::string(64, '}');
  EXPECT_EQ(error_of(ok), "");
  for (int i = 0; i < 100000; ++i) deep += "{ c ";
  EXPECT_EQ(error_of(deep), "line 1: containers nested more than 64 deep");
}

TEST_F(DASParserTest, ExtendsExistingContainersAllOrNothing) {
  DAS das;
  das.add_table("sst")->append_attr("units", "String", "degC");
  das.parse(std::string("Attributes { sst { Float32 scale 2; } new { } }"));
  EXPECT_EQ(printed(das),
            "Attributes {\n    sst {\n        String units \"degC\";\n"
            "        Float32 scale 2;\n    }\n    new {\n    }\n}\n");
  const std::string before = printed(das);
  // A clash with what the DAS holds is found only when merging.
  expect_error(
      [&] {
        das.parse(std::string("Attributes { a { } sst { Int32 units 1; } }"));
      },
      type_mismatch);
  EXPECT_THROW(das.parse(std::string("Attributes { b { } c { Int32 x; } }")),
               Error);
  EXPECT_EQ(printed(das), before);
}

// The sample file through the FILE* and stream parsers, read to the end
// (the FILE* left open), printed back byte for byte.
TEST_F(DASParserTest, FileAndStreamFormsAgreeOnTheSampleFile) {
  const std::string text = data_file("sample.das");
  DAS from_file;
  FILE* in = file_reading(text);
  from_file.parse(in);
  EXPECT_EQ(fgetc(in), EOF);
  fclose(in);
  EXPECT_EQ(capture_file([&](FILE* f) { from_file.print(f); }), text);
  std::istringstream stream(text);
  DAS from_stream;
  from_stream.parse(stream);
  EXPECT_EQ(printed(from_stream), text);
}

}  // namespace libqvp::test
