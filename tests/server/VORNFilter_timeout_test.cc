// The handler time-out: arming, re-arming and ownership of the AlarmHandler,
// and the process ending with status 1 (checked in child processes).
#include <libqvp/AlarmHandler.h>
#include <libqvp/SignalHandler.h>

#include <fstream>
#include <iostream>

#include "ServerTest.h"

namespace libqvp {
namespace {

using test::RecordingFile;

EventHandler* alarm_handler() {
  return SignalHandler::instance()->get_handler(SIGALRM);
}

// Removes whatever a test left registered for SIGALRM and cancels the alarm.
class VORNFilterTimeoutTest : public testing::Test {
 protected:
  void TearDown() override { remove(); }
  static void remove() {
    alarm(0);
    delete SignalHandler::instance()->remove_handler(SIGALRM);
  }
  VORNFilter f;
};

TEST_F(VORNFilterTimeoutTest, NoLimitArmsNothing) {
  for (int timeout : {0, -1, -100}) {
    SCOPED_TRACE(timeout);
    f.set_timeout(timeout);
    std::ostringstream out;
    f.establish_timeout(out);
    f.establish_timeout(stdout);
    EXPECT_EQ(nullptr, alarm_handler());
    EXPECT_EQ(0u, alarm(0));
  }
}

TEST_F(VORNFilterTimeoutTest, ArmsAndRearmsOnStreams) {
  f.set_timeout(50);
  std::ostringstream out;
  f.establish_timeout(out);
  ASSERT_NE(nullptr, dynamic_cast<AlarmHandler*>(alarm_handler()));
  f.set_timeout(100);
  f.establish_timeout(out);  // the first handler is deleted
  ASSERT_NE(nullptr, dynamic_cast<AlarmHandler*>(alarm_handler()));
  const unsigned left = alarm(0);
  EXPECT_GT(left, 50u);  // restarted with the current limit
  EXPECT_LE(left, 100u);
  out << "still open";
  EXPECT_EQ("still open", out.str());
}

// The handler owns the FILE* it was armed on: re-arming on another file
// closes the first; re-arming on the same one (a second data response on
// stdout) keeps it open and usable, and it is closed once, by its handler.
TEST_F(VORNFilterTimeoutTest, RearmingClosesOnlyAnotherFile) {
  f.set_timeout(100);
  RecordingFile first, second;
  first.release();
  second.release();
  f.establish_timeout(first.get());
  f.establish_timeout(first.get());
  EXPECT_FALSE(first.closed());
  fputs("written after re-arming", first.get());
  fflush(first.get());
  EXPECT_EQ("written after re-arming", first.bytes());
  f.establish_timeout(second.get());
  EXPECT_TRUE(first.closed());
  EXPECT_FALSE(second.closed());
  remove();
  EXPECT_TRUE(second.closed());
}

TEST(AlarmHandlerTest, DestructorClosesOnlyAFile) {
  RecordingFile file;
  file.release();
  delete new AlarmHandler(file.get());
  EXPECT_TRUE(file.closed());
  std::ostringstream out;
  delete new AlarmHandler(out);
  out << "open";
  EXPECT_EQ("open", out.str());
}

void hang_forever() {
  for (;;) pause();
}

// Status 1, also when exit() hangs (here an exit handler that never
// returns, as a lock held by the interrupted code would make it).
TEST(AlarmHandlerDeathTest, ExitsWithStatusOne) {
  AlarmHandler handler(std::cout);
  EXPECT_EXIT(handler.handle_signal(SIGALRM), testing::ExitedWithCode(1), "^$");
  EXPECT_EXIT(handler.handle_signal(SIGUSR1), testing::ExitedWithCode(1),
              "^SIGALRM handler caught another signal!\n$");
  EXPECT_EXIT(
      {
        atexit(hang_forever);
        handler.handle_signal(SIGALRM);
      },
      testing::ExitedWithCode(1), "");
}

// An Int32 whose read() takes far longer than any time limit here.
class SlowInt32 : public Int32 {
 public:
  explicit SlowInt32(std::string name) : Int32(std::move(name)) {}
  bool read() override {
    for (int i = 0; i < 60; ++i) sleep(1);
    return true;
  }
};

// A data response with a one-second limit whose variable reads for a
// minute: the process ends with status 1, and what was flushed before the
// slow read is all that was written.
TEST(VORNFilterTimeoutDeathTest, ExpiresDuringSerialize) {
  TempDir dir;
  const std::string path = dir / "out";
  EXPECT_EXIT(
      {
        Argv argv({"h", "-t", "1", "-o", "DataDDS", "demo.nc"});
        VORNFilter f(argv.argc(), argv.argv());
        DDS dds("demo.nc");
        dds.add_var(std::make_unique<SlowInt32>("slow"));
        ConstraintEvaluator eval;
        f.send_data(dds, eval, fopen(path.c_str(), "w"), "", false);
        exit(0);
      },
      testing::ExitedWithCode(1), "");
  std::ifstream in(path, std::ios::binary);
  std::stringstream written;
  written << in.rdbuf();
  EXPECT_EQ("Dataset {\n    Int32 slow;\n} demo.nc;\nData:\n", written.str());
}

}  // namespace
}  // namespace libqvp
