// Scalars: the XDR bytes of each type through its serialize(), and the
// read hook.
#include <gtest/gtest.h>
#include <libqvp/Byte.h>
#include <libqvp/Error.h>
#include <libqvp/Float32.h>
#include <libqvp/Float64.h>
#include <libqvp/Int16.h>
#include <libqvp/Int32.h>
#include <libqvp/Str.h>
#include <libqvp/UInt16.h>
#include <libqvp/UInt32.h>
#include <libqvp/Url.h>

#include "XdrCapture.h"

using qvptest::hex;
using qvptest::serialized;
using qvptest::to_hex;

namespace {

template <typename S>
std::unique_ptr<libqvp::BaseType> scalar(typename S::value_type v) {
  auto s = std::make_unique<S>("x");
  s->set_value(std::move(v));
  return s;
}

TEST(ScalarTest, XdrOfEachType) {
  const struct {
    std::unique_ptr<libqvp::BaseType> var;
    const char* expected;
  } cases[] = {
      {scalar<libqvp::Byte>(0xfe), "000000fe"},
      {scalar<libqvp::Int16>(-3), "fffffffd"},
      {scalar<libqvp::UInt16>(0xfffe), "0000fffe"},
      {scalar<libqvp::Int32>(-65536), "ffff0000"},
      {scalar<libqvp::UInt32>(4000000000u), "ee6b2800"},
      {scalar<libqvp::Float32>(0.5f), "3f000000"},
      {scalar<libqvp::Float64>(-3.0), "c0080000 00000000"},
      {scalar<libqvp::Str>("degC"), "00000004 64656743"},
      {scalar<libqvp::Str>("K"), "00000001 4b000000"},
      {scalar<libqvp::Url>("http://a/b"),
       "0000000a 68747470 3a2f2f61 2f620000"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(to_hex(serialized(*c.var)), to_hex(hex(c.expected)))
        << c.var->type_name();
}

class CountingInt32 : public libqvp::Int32 {
 public:
  CountingInt32() : Int32("n") {}
  bool read() override {
    ++reads;
    set_value(42);
    return true;
  }
  int reads = 0;
};

TEST(ScalarTest, ReadHookRunsOnceBeforeTheFirstSerialisation) {
  CountingInt32 v;
  EXPECT_EQ(to_hex(serialized(v)), "0000002a");
  EXPECT_EQ(to_hex(serialized(v)), "0000002a");
  EXPECT_EQ(v.reads, 1);
  EXPECT_TRUE(v.read_p());
}

class FailingRead : public libqvp::Float64 {
 public:
  FailingRead() : Float64("f") {}
  bool read() override { throw libqvp::Error("source unreadable"); }
};

TEST(ScalarTest, FailedReadIsReportedAndRetried) {
  FailingRead v;
  EXPECT_THROW(serialized(v), libqvp::Error);
  EXPECT_FALSE(v.read_p()) << "a failed read must not count as done";
}

}  // namespace
