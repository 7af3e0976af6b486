// The descriptor owner closes what it holds exactly once: when it goes, when
// it adopts another, and never what it released or handed on by a move.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libqvp/FileDescriptor.h>
#include <unistd.h>

#include <utility>

namespace libqvp {
namespace {

bool is_open(int fd) { return fcntl(fd, F_GETFD) != -1; }

int open_null() {
  const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  EXPECT_GE(fd, 0);
  return fd;
}

TEST(FileDescriptor, ClosesWhatItHoldsWhenItGoes) {
  const int fd = open_null();
  { const FileDescriptor owner(fd); }
  EXPECT_FALSE(is_open(fd));
}

TEST(FileDescriptor, ReleasedDescriptorStaysOpen) {
  const int fd = open_null();
  {
    FileDescriptor owner(fd);
    EXPECT_EQ(owner.release(), fd);
    EXPECT_LT(owner.get(), 0);
  }
  EXPECT_TRUE(is_open(fd));
  close(fd);
}

TEST(FileDescriptor, MoveHandsOnOwnership) {
  const int fd = open_null();
  FileDescriptor first(fd);
  {
    FileDescriptor second(std::move(first));
    EXPECT_EQ(second.get(), fd);
    EXPECT_LT(first.get(), 0);  // NOLINT(bugprone-use-after-move)
  }
  EXPECT_FALSE(is_open(fd));
}

TEST(FileDescriptor, ResetAndAssignmentCloseTheOldOne) {
  const int a = open_null();
  const int b = open_null();
  FileDescriptor owner(a);
  owner.reset(b);
  EXPECT_FALSE(is_open(a));
  EXPECT_TRUE(is_open(b));
  owner.reset(b);  // adopting the same descriptor again keeps it open
  EXPECT_TRUE(is_open(b));
  const int c = open_null();
  owner = FileDescriptor(c);
  EXPECT_FALSE(is_open(b));
  EXPECT_EQ(owner.get(), c);
  owner.reset();
  EXPECT_FALSE(is_open(c));
}

}  // namespace
}  // namespace libqvp
