// The DDS text form: canonical texts round-trip byte for byte through parse
// and print, other spellings print canonically, and malformed text is
// refused with the line and the offending text, adding nothing.
#include "CoreTest.h"

namespace libqvp::test {

class DDSParserTest : public ::testing::Test {
 protected:
  static std::string reprint(const std::string& text) {
    return reprinted<DDS>(text);
  }
  // The message of the Error that parsing `text` throws; "" if none.
  static std::string error_of(const std::string& text) {
    DDS dds("before");
    try {
      dds.parse(text);
    } catch (const Error& e) {
      EXPECT_EQ(e.get_error_code(), malformed_text) << text;
      EXPECT_EQ(dds.num_var(), 0u) << text;
      EXPECT_EQ(dds.get_dataset_name(), "before") << text;
      return e.get_error_message();
    }
    return "";
  }
};

TEST_F(DDSParserTest, CanonicalTextsRoundTrip) {
  EXPECT_EQ(reprint("Dataset {\n} empty;\n"), "Dataset {\n} empty;\n");
  for (const char* name : {"canonical_scalars.dds", "canonical_arrays.dds",
                           "canonical_nesting.dds", "canonical_names.dds"}) {
    const std::string text = data_file(name);
    EXPECT_EQ(reprint(text), text) << name;
  }
}

TEST_F(DDSParserTest, ReadsOtherSpellingsIntoTheCanonicalForm) {
  for (const auto& c : data_cases("dds_spellings.txt")) {
    DDS dds("before");
    dds.parse(c.at(0));
    EXPECT_EQ(printed(dds), c.at(1)) << c.at(0);
  }
}

TEST_F(DDSParserTest, RejectsMalformedTextNamingLineAndToken) {
  for (const auto& c : data_cases("dds_errors.txt"))
    EXPECT_EQ(error_of(c.at(0)), c.at(1)) << c.at(0);
}

TEST_F(DDSParserTest, BoundsNestingRankAndNames) {
  std::string ok = "Dataset { ", deep = "Dataset { ";
  for (int i = 0; i < 64; ++i) ok += "Structure { ";
  ok += "Int32 x;";
  for (int i = 0; i < 64; ++i) ok += " } s;";
  EXPECT_EQ(error_of(ok + " } d;"), "");
  for (int i = 0; i < 100000; ++i) deep += "Structure { ";
  EXPECT_EQ(error_of(deep), "line 1: variables nested more than 64 deep");

  std::string rank = "Dataset { Int32 a";
  for (int i = 0; i < 64; ++i) rank += "[1]";
  EXPECT_EQ(error_of(rank + "; } d;"), "");
  EXPECT_EQ(error_of(rank + "[1]; } d;"),
            "line 1: 'a' has more than 64 dimensions");
  std::string wide = "Dataset {\n Structure {\n";
  for (int i = 0; i < 4096; ++i) wide += "Byte m" + std::to_string(i) + ";\n";
  EXPECT_EQ(error_of(wide + "} s; } d;"), "");
  EXPECT_EQ(error_of(wide + "Byte extra; } s; } d;"),
            "line 4099: more than 4096 members in one Structure or Sequence");
  EXPECT_EQ(error_of("Dataset { Int32 " + std::string(1025, 'n') + "; } d;"),
            "line 1: name '" + std::string(40, 'n') +
                "...' is longer than 1024 bytes");
}

TEST_F(DDSParserTest, AddsToWhatTheDDSHoldsAllOrNothing) {
  DDS dds("old");
  dds.add_var(std::make_unique<Int32>("keep"));
  dds.add_var(std::make_unique<Int32>("a"));
  dds.parse(std::string("Dataset { Float64 a; String b; } new;"));
  EXPECT_EQ(
      printed(dds),
      "Dataset {\n    Int32 keep;\n    Float64 a;\n    String b;\n} new;\n");
  EXPECT_THROW(dds.parse(std::string("Dataset { Int32 c; Int32 c; } x;")),
               Error);
  EXPECT_EQ(
      printed(dds),
      "Dataset {\n    Int32 keep;\n    Float64 a;\n    String b;\n} new;\n");
  dds.parse(std::string(" # nothing here\n"));
  EXPECT_EQ(dds.num_var(), 3u);
}

// The sample file through the FILE* and stream parsers, read to the end
// (the FILE* left open), printed back byte for byte.
TEST_F(DDSParserTest, FileAndStreamFormsAgreeOnTheSampleFile) {
  const std::string text = data_file("demo.dds");
  DDS from_file;
  FILE* in = file_reading(text);
  from_file.parse(in);
  EXPECT_EQ(fgetc(in), EOF);
  fclose(in);
  std::istringstream stream(text);
  DDS dds;
  dds.parse(stream);
  EXPECT_EQ(printed(dds), text);
  EXPECT_EQ(capture_file([&](FILE* f) { from_file.print(f); }), text);
}

}  // namespace libqvp::test
