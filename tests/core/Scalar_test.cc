// Scalars: the XDR bytes of each type through its serialize(), and the
// read hook.
#include "CoreTest.h"

namespace libqvp::test {

TEST(ScalarTest, XdrOfEachType) {
  // clang-format off
  const struct { std::unique_ptr<BaseType> var; const char* expected; } cases[] = {
      {holding<Byte>(0xfe), "000000fe"}, {holding<Int16>(-3), "fffffffd"},
      {holding<UInt16>(0xfffe), "0000fffe"}, {holding<Int32>(-65536), "ffff0000"},
      {holding<UInt32>(4000000000u), "ee6b2800"}, {holding<Float32>(0.5f), "3f000000"},
      {holding<Float64>(-3.0), "c0080000 00000000"},
      {holding<Str>("degC"), "00000004 64656743"}, {holding<Str>("K"), "00000001 4b000000"},
      {holding<Url>("http://a/b"), "0000000a 68747470 3a2f2f61 2f620000"},
  };
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(xdr_hex(*c.var), c.expected) << c.var->type_name();
}

// read() runs once, before the first serialisation; a read that throws is
// reported and does not count as done.
TEST(ScalarTest, ReadHookRunsOnceAndAFailedReadIsNotDone) {
  struct CountingInt32 : Int32 {
    CountingInt32() : Int32("n") {}
    bool read() override {
      ++reads;
      set_value(42);
      return true;
    }
    int reads = 0;
  } v;
  EXPECT_EQ(xdr_hex(v), "0000002a");
  EXPECT_EQ(xdr_hex(v), "0000002a");
  EXPECT_EQ(v.reads, 1);
  EXPECT_TRUE(v.read_p());

  struct FailingRead : Float64 {
    FailingRead() : Float64("f") {}
    bool read() override { throw Error("source unreadable"); }
  } f;
  EXPECT_THROW(serialized(f), Error);
  EXPECT_FALSE(f.read_p());
}

}  // namespace libqvp::test
