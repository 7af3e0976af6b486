// The rules for control bytes and whole numbers that the mapping, the pool
// and the browser's views share.
#include "RequestText.h"

#include <gtest/gtest.h>

#include <string>

#include "CaseFile.h"

namespace libqvp {
namespace test {
namespace {

std::string read(const std::string& text, int base, unsigned long low,
                 unsigned long high) {
  unsigned long value = 12345;
  switch (read_number(text, low, high, value, base)) {
    case NumberText::ok:
      return "ok:" + std::to_string(value);
    case NumberText::malformed:
      EXPECT_EQ(value, 12345u) << "set on failure";
      return "malformed";
    case NumberText::out_of_range:
      EXPECT_EQ(value, 12345u) << "set on failure";
      return "out_of_range";
  }
  return "?";
}

TEST(RequestTextTest, NumbersAreTheirDigitsAlone) {
  for (const auto& c : data_cases("numbers.txt")) {
    SCOPED_TRACE(c[0]);
    EXPECT_EQ(read(c[0], std::stoi(c[1]), std::stoul(c[2]), std::stoul(c[3])),
              c[4]);
  }
  EXPECT_EQ(read("", 10, 0, 10), "malformed");
}

TEST(RequestTextTest, ControlBytesAreC0AndDel) {
  for (int i = 0; i < 256; ++i) {
    const bool control = i < 0x20 || i == 0x7f;
    EXPECT_EQ(is_control_byte(static_cast<unsigned char>(i)), control) << i;
    const std::string text = "a/b" + std::string(1, static_cast<char>(i));
    EXPECT_EQ(has_control_byte(text), control) << i;
  }
  EXPECT_FALSE(has_control_byte(""));
  EXPECT_TRUE(has_control_byte(std::string("sst\0.nc", 7)));
}

}  // namespace
}  // namespace test
}  // namespace libqvp
