// Percent-escape decoding (www2id) and encoding (id2www).
#include "CoreTest.h"

namespace libqvp::test {

// Decoding with the blank left encoded, malformed escapes left as they are.
TEST(EscapingTest, DecodesWithTheBlankLeftEncoded) {
  for (const auto& c : data_cases("www2id.txt"))
    EXPECT_EQ(www2id(c.at(0), "%", "%20"), c.at(1)) << c.at(0);
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
  for (const auto& c : data_cases("id2www.txt"))
    EXPECT_EQ(id2www(c.at(0)), c.at(1)) << c.at(0);
  std::string all, expected;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(www2id(id2www(all)), all);
  for (char c : all)
    expected += c == ' ' ? std::string("%20") : std::string(1, c);
  EXPECT_EQ(www2id(id2www(all), "%", "%20"), expected);
}

}  // namespace libqvp::test
