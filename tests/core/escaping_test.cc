// Percent-escape decoding (www2id) and encoding (id2www).
#include "CoreTest.h"

namespace libqvp::test {

struct Case {
  std::string input;
  std::string expected;
};

// Decoding with the blank left encoded, malformed escapes left as they are.
TEST(EscapingTest, DecodesWithTheBlankLeftEncoded) {
  // clang-format off
  static const Case cases[] = {
      {"", ""}, {"plain", "plain"}, {"a%2Fb%20c", "a/b%20c"}, {"%20", "%20"},
      {"%20%20x", "%20%20x"}, {"%2f", "/"}, {"%2F", "/"}, {"%aB%Ab", "\xab\xab"},
      {"%41%42", "AB"}, {"%25", "%"}, {std::string("a%00b"), std::string("a\0b", 3)},
      {"%ff", "\xff"},
      {"%2520", "%20"},  // decoded once only: "%20" afterwards, not a blank
      {"%", "%"}, {"a%", "a%"}, {"%4", "%4"}, {"a%4", "a%4"}, {"%4g", "%4g"},
      {"%g4", "%g4"}, {"%%41", "%A"}, {"% 41", "% 41"}, {"%-1", "%-1"}, {"%2", "%2"},
      {"100%", "100%"}, {"%G0%41", "%G0A"}, {"%\xff" "1", "%\xff" "1"},
  };
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(www2id(c.input, "%", "%20"), c.expected) << c.input;
}

TEST(EscapingTest, ExceptionAndEscapeArguments) {
  EXPECT_EQ(www2id("a%20b"), "a b");  // no exception by default
  EXPECT_EQ(www2id("a%20b", "%", ""), "a b");
  EXPECT_EQ(www2id("a%2Fb%20c", "%", "%2F"), "a%2Fb c");
  EXPECT_EQ(www2id("a$41%41", "$", ""), "aA%41");
  EXPECT_EQ(www2id("a%41", "", ""), "a%41");  // no escape: unchanged
  // The exception is matched exactly: "%2f" is not "%2F".
  EXPECT_EQ(www2id("%2f%2F", "%", "%2F"), "/%2F");
}

// Every byte outside the name characters is encoded; every byte round-trips
// (with the blank left encoded, only the blank differs).
TEST(EscapingTest, EncodesEveryByteOutsideTheNameCharacters) {
  // clang-format off
  static const Case cases[] = {
      {"", ""}, {"sst_2001.nc", "sst_2001.nc"}, {"a-b+c/d!e~f*g'h", "a-b+c/d!e~f*g'h"},
      {"a b", "a%20b"}, {"100%", "100%25"}, {"x[0]", "x%5B0%5D"}, {"\"q\";", "%22q%22%3B"},
      {std::string("\0\n", 2), "%00%0A"}, {"\xe9t\xe9", "%E9t%E9"},
  };
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(id2www(c.input), c.expected) << c.input;
  std::string all, expected;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(www2id(id2www(all)), all);
  for (char c : all)
    expected += c == ' ' ? std::string("%20") : std::string(1, c);
  EXPECT_EQ(www2id(id2www(all), "%", "%20"), expected);
}

}  // namespace libqvp::test
