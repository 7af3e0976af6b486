// The handler time-out: arming, re-arming and ownership of the AlarmHandler,
// and the process ending with status 1 (checked in child processes).
#include <gtest/gtest.h>
#include <libqvp/AlarmHandler.h>
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DDS.h>
#include <libqvp/Int32.h>
#include <libqvp/SignalHandler.h>
#include <libqvp/VORNFilter.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "FlushRecorder.h"

namespace libqvp {
namespace {

using test::RecordingFile;

// An Int32 whose read() takes far longer than any time limit here.
class SlowInt32 : public Int32 {
 public:
  explicit SlowInt32(std::string name) : Int32(std::move(name)) {}
  bool read() override {
    for (int i = 0; i < 60; ++i) sleep(1);
    set_value(1);
    return true;
  }
};

// Removes whatever a test left registered for SIGALRM and cancels the alarm.
class VORNFilterTimeoutTest : public testing::Test {
 protected:
  void TearDown() override {
    alarm(0);
    delete SignalHandler::instance()->remove_handler(SIGALRM);
  }
};

TEST_F(VORNFilterTimeoutTest, NoLimitArmsNothing) {
  for (int timeout : {0, -1, -100}) {
    SCOPED_TRACE(timeout);
    VORNFilter f;
    f.set_timeout(timeout);
    std::ostringstream out;
    f.establish_timeout(out);
    f.establish_timeout(stdout);
    EXPECT_EQ(nullptr, SignalHandler::instance()->get_handler(SIGALRM));
    EXPECT_EQ(0u, alarm(0));
  }
}

TEST_F(VORNFilterTimeoutTest, ArmsAndRearmsOnStreams) {
  VORNFilter f;
  f.set_timeout(50);
  std::ostringstream out;
  f.establish_timeout(out);
  EventHandler* first = SignalHandler::instance()->get_handler(SIGALRM);
  ASSERT_NE(nullptr, dynamic_cast<AlarmHandler*>(first));
  f.set_timeout(100);
  f.establish_timeout(out);  // the first handler is deleted
  EventHandler* second = SignalHandler::instance()->get_handler(SIGALRM);
  ASSERT_NE(nullptr, dynamic_cast<AlarmHandler*>(second));
  const unsigned left = alarm(0);
  EXPECT_GT(left, 50u);  // restarted with the current limit
  EXPECT_LE(left, 100u);
  out << "still open";
  EXPECT_TRUE(out.good());
  EXPECT_EQ("still open", out.str());
}

TEST_F(VORNFilterTimeoutTest, RearmingOnAnotherFileClosesTheFirst) {
  VORNFilter f;
  f.set_timeout(100);
  auto first = std::make_unique<RecordingFile>();
  auto second = std::make_unique<RecordingFile>();
  first->release();  // the handlers own them
  second->release();
  f.establish_timeout(first->get());
  EXPECT_FALSE(first->closed());
  f.establish_timeout(second->get());
  EXPECT_TRUE(first->closed());
  EXPECT_FALSE(second->closed());
  delete SignalHandler::instance()->remove_handler(SIGALRM);
  EXPECT_TRUE(second->closed());
}

TEST_F(VORNFilterTimeoutTest, RearmingOnTheSameFileKeepsItOpen) {
  VORNFilter f;
  f.set_timeout(100);
  auto file = std::make_unique<RecordingFile>();
  file->release();
  f.establish_timeout(file->get());
  f.establish_timeout(file->get());  // a second data response on stdout
  EXPECT_FALSE(file->closed());
  fputs("written after re-arming", file->get());
  fflush(file->get());
  EXPECT_EQ("written after re-arming", file->bytes());
  delete SignalHandler::instance()->remove_handler(SIGALRM);
  EXPECT_TRUE(file->closed());  // closed once, by the handler that owned it
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

TEST(AlarmHandlerDeathTest, ExitsWithStatusOne) {
  AlarmHandler handler(std::cout);
  EXPECT_EXIT(handler.handle_signal(SIGALRM), testing::ExitedWithCode(1), "^$");
  EXPECT_EXIT(handler.handle_signal(SIGUSR1), testing::ExitedWithCode(1),
              "^SIGALRM handler caught another signal!\n$");
}

// exit() may hang (here an exit handler that never returns, as a lock held
// by the interrupted code would make it); the fallback still ends the process
// with status 1.
void hang_forever() {
  for (;;) pause();
}

TEST(AlarmHandlerDeathTest, HangingExitStillEnds) {
  EXPECT_EXIT(
      {
        atexit(hang_forever);
        AlarmHandler handler(std::cout);
        handler.handle_signal(SIGALRM);
      },
      testing::ExitedWithCode(1), "");
}

// A data response with a one-second limit whose variable reads for a
// minute, written to `path`. Returns only if the limit failed to end it.
void slow_data_response(const char* path) {
  FILE* out = fopen(path, "w");
  const char* argv[] = {"h", "-t", "1", "-o", "DataDDS", "demo.nc"};
  VORNFilter f(6, const_cast<char**>(argv));
  DDS dds("demo.nc");
  dds.add_var(std::make_unique<SlowInt32>("slow"));
  ConstraintEvaluator eval;
  f.send_data(dds, eval, out, "", false);
}

// The process ends with status 1, and what was flushed before the slow read
// is all that was written.
TEST(VORNFilterTimeoutDeathTest, ExpiresDuringSerialize) {
  char path[] = "/tmp/vornfilter_timeout_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EXIT(
      {
        slow_data_response(path);
        exit(0);
      },
      testing::ExitedWithCode(1), "");
  std::ifstream in(path, std::ios::binary);
  std::stringstream written;
  written << in.rdbuf();
  EXPECT_EQ("Dataset {\n    Int32 slow;\n} demo.nc;\nData:\n", written.str());
  unlink(path);
}

}  // namespace
}  // namespace libqvp
