// Descriptors over Win32 handles: slot allocation, open, read, write, seeking,
// fcntl, dup2 and record locks.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include <zav/errno.h>
#include <zav/fcntl.h>
#include <zav/unistd.h>

#include "scratch_dir.h"

namespace {

using namespace zav;

constexpr int ERROR_NEGATIVE_SEEK_ = 131;

class Descriptors : public testing::Test {
 protected:
  ztest::ScratchDir dir;

  int open_file(const std::string& name, const std::string& bytes, int flags = O_RDWR_) {
    return zav::open(dir.write(name, bytes).c_str(), flags);
  }
};

TEST_F(Descriptors, LowestFreeSlotReuseAndGrowth) {
  std::string name = dir.write("f", "x");
  const int first = zav::open(name.c_str(), O_RDONLY_);
  ASSERT_EQ(first, 3) << "errno " << errno_;
  int fds[7];
  for (int i = 0; i < 6; ++i) fds[i] = zav::open(name.c_str(), O_RDONLY_);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(fds[i], 4 + i);
  // The eleventh open descriptor lies past the initial ten slots.
  fds[6] = zav::open(name.c_str(), O_RDONLY_);
  EXPECT_EQ(fds[6], 10);
  char c = 0;
  EXPECT_EQ(zav::read(fds[6], &c, 1), 1);
  EXPECT_EQ(c, 'x');

  ASSERT_EQ(zav::close(3), 0);
  EXPECT_EQ(zav::open(name.c_str(), O_RDONLY_), 3);
  EXPECT_EQ(zav::close(3), 0);
  for (int fd : fds) EXPECT_EQ(zav::close(fd), 0);
}

TEST(DescriptorsBad, FailWithEbadf) {
  char c = 0;
  struct Case {
    const char* call;
    long (*run)(char*);
  };
  const Case cases[] = {
      {"close(57)", [](char*) -> long { return zav::close(57); }},
      {"read(57)", [](char* b) -> long { return zav::read(57, b, 1); }},
      {"write(-1)", [](char* b) -> long { return zav::write(-1, b, 1); }},
      {"lseek(40)", [](char*) -> long { return zav::lseek(40, 0, SEEK_SET_); }},
      {"lseek64(40)", [](char*) -> long { return static_cast<long>(zav::lseek64(40, 0, SEEK_SET_)); }},
      {"dup2(57, 9)", [](char*) -> long { return zav::dup2(57, 9); }},
      {"dup2(0, -1)", [](char*) -> long { return zav::dup2(0, -1); }},
      {"fcntl(57, F_GETFD)", [](char*) -> long { return zav::fcntl(57, F_GETFD_); }},
  };
  for (const Case& test : cases) {
    errno_ = 0;
    EXPECT_EQ(test.run(&c), -1) << test.call;
    EXPECT_EQ(errno_, EBADF_) << test.call;
  }
  errno_ = 0;
  EXPECT_EQ(zav::isatty(57), 0);
  EXPECT_EQ(errno_, EBADF_);
  EXPECT_EQ(zav::descriptor_handle(57), nullptr);
}

TEST_F(Descriptors, OpenFailuresMapWin32Codes) {
  const std::string missing = dir.path() + "/missing";
  EXPECT_EQ(zav::open(missing.c_str(), O_RDONLY_), -1);
  EXPECT_EQ(errno_, ENOENT_);
  const std::string no_dir = dir.path() + "/nodir/file";
  EXPECT_EQ(zav::open(no_dir.c_str(), O_RDONLY_), -1);
  EXPECT_EQ(errno_, ENOTDIR_);
  const std::string existing = dir.write("exists", "");
  EXPECT_EQ(zav::open(existing.c_str(), O_WRONLY_ | O_CREAT_ | O_EXCL_, 0666), -1);
  EXPECT_EQ(errno_, EEXIST_) << "CreateFileA's ERROR_FILE_EXISTS folds into EEXIST";
}

TEST_F(Descriptors, CreationTruncationAndAppend) {
  const std::string name = dir.file("new");
  int fd = zav::open(name.c_str(), O_WRONLY_ | O_CREAT_, 0666);
  ASSERT_GE(fd, 0) << "errno " << errno_;
  EXPECT_EQ(zav::write(fd, "hello", 5), 5);
  EXPECT_EQ(zav::close(fd), 0);
  EXPECT_EQ(ztest::ScratchDir::contents(name), "hello");

  fd = zav::open(name.c_str(), O_WRONLY_ | O_APPEND_);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(zav::write(fd, "!", 1), 1);
  EXPECT_EQ(zav::close(fd), 0);
  EXPECT_EQ(ztest::ScratchDir::contents(name), "hello!");

  fd = zav::open(name.c_str(), O_WRONLY_ | O_TRUNC_);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(zav::lseek(fd, 0, SEEK_END_), 0);
  EXPECT_EQ(zav::close(fd), 0);

  errno_ = 0;
  EXPECT_EQ(zav::open((dir.path() + "/absent").c_str(), O_WRONLY_ | O_TRUNC_), -1)
      << "O_TRUNC alone never creates";
  EXPECT_EQ(errno_, ENOENT_);
}

TEST_F(Descriptors, DeleteOnCloseRemovesTheFile) {
  const std::string name = dir.file("temporary");
  int fd = zav::open(name.c_str(), O_RDWR_ | O_CREAT_ | O_TEMPORARY_, 0666);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(zav::close(fd), 0);
  EXPECT_EQ(zav::open(name.c_str(), O_RDONLY_), -1);
  EXPECT_EQ(errno_, ENOENT_);
}

TEST_F(Descriptors, SeekingAndTheNegativeSeekReset) {
  int fd = open_file("seek", "0123456789");
  ASSERT_GE(fd, 0);
  EXPECT_EQ(zav::lseek(fd, 4, SEEK_SET_), 4);
  EXPECT_EQ(zav::lseek(fd, 2, SEEK_CUR_), 6);
  EXPECT_EQ(zav::lseek(fd, -1, SEEK_END_), 9);
  char c = 0;
  EXPECT_EQ(zav::read(fd, &c, 1), 1);
  EXPECT_EQ(c, '9');

  EXPECT_EQ(zav::lseek(fd, 3, SEEK_SET_), 3);
  errno_ = 0;
  EXPECT_EQ(zav::lseek(fd, -5, SEEK_SET_), -1);
  EXPECT_EQ(errno_, ERROR_NEGATIVE_SEEK_);
  EXPECT_EQ(zav::lseek(fd, 0, SEEK_CUR_), 0) << "a refused negative seek leaves the position at 0";

  // lseek64 reaches past 4 GiB without writing anything.
  const int64_t past_4g = int64_t{5} << 30;
  EXPECT_EQ(zav::lseek64(fd, past_4g, SEEK_SET_), past_4g);
  EXPECT_EQ(zav::lseek64(fd, 1, SEEK_CUR_), past_4g + 1);
  EXPECT_EQ(zav::close(fd), 0);
}

TEST_F(Descriptors, AnUnknownWhenceIsEinvalAndLeavesThePosition) {
  int fd = open_file("whence", "0123");
  ASSERT_GE(fd, 0);
  ASSERT_EQ(zav::lseek(fd, 2, SEEK_SET_), 2);
  for (int whence : {-1, 3}) {
    errno_ = 0;
    EXPECT_EQ(zav::lseek(fd, 1, whence), -1) << whence;
    EXPECT_EQ(errno_, EINVAL_) << whence;
    errno_ = 0;
    EXPECT_EQ(zav::lseek64(fd, 1, whence), -1) << whence;
    EXPECT_EQ(errno_, EINVAL_) << whence;
  }
  EXPECT_EQ(zav::lseek(fd, 0, SEEK_CUR_), 2);
  EXPECT_EQ(zav::close(fd), 0);
}

TEST(DescriptorsPipe, LseekOnAPipeIsEspipeAndReadSeesEndOfFile) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  const int in = zav::install_handle(read_end);
  const int out = zav::install_handle(write_end);
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  errno_ = 0;
  EXPECT_EQ(zav::lseek(in, 0, SEEK_CUR_), -1);
  EXPECT_EQ(errno_, ESPIPE_);
  errno_ = 0;
  EXPECT_EQ(zav::lseek64(out, 0, SEEK_SET_), -1);
  EXPECT_EQ(errno_, ESPIPE_);
  EXPECT_EQ(zav::isatty(in), 0);

  EXPECT_EQ(zav::write(out, "ab", 2), 2);
  EXPECT_EQ(zav::close(out), 0);
  char buf[8];
  EXPECT_EQ(zav::read(in, buf, sizeof buf), 2);
  // With the writer gone, ReadFile fails with ERROR_BROKEN_PIPE: end of file.
  errno_ = 0;
  EXPECT_EQ(zav::read(in, buf, sizeof buf), 0);
  EXPECT_EQ(errno_, 0);
  EXPECT_EQ(zav::close(in), 0);
}

TEST_F(Descriptors, DevNullReadsNothingAndSwallowsWrites) {
  const int in = zav::open("/dev/null", O_RDONLY_);
  ASSERT_GE(in, 0) << "errno " << errno_;
  char buf[4];
  EXPECT_EQ(zav::read(in, buf, sizeof buf), 0);
  EXPECT_EQ(zav::isatty(in), 0);
  const int out = zav::open("/dev/null", O_WRONLY_);
  ASSERT_GE(out, 0);
  EXPECT_EQ(zav::write(out, "discard", 7), 7);
  EXPECT_EQ(zav::close(in), 0);
  EXPECT_EQ(zav::close(out), 0);
}

TEST_F(Descriptors, Dup2SharesThePositionAndOutlivesTheOriginal) {
  int fd = open_file("dup", "abcdef");
  ASSERT_GE(fd, 0);
  ASSERT_EQ(zav::dup2(fd, 20), 20) << "dup2 grows the table to the target";
  char c = 0;
  EXPECT_EQ(zav::read(fd, &c, 1), 1);
  EXPECT_EQ(zav::read(20, &c, 1), 1);
  EXPECT_EQ(c, 'b') << "both descriptors move one file position";
  EXPECT_EQ(zav::close(fd), 0);
  EXPECT_EQ(zav::read(20, &c, 1), 1);
  EXPECT_EQ(c, 'c');

  void* before = zav::descriptor_handle(20);
  EXPECT_EQ(zav::dup2(20, 20), 20);
  EXPECT_NE(zav::descriptor_handle(20), before) << "dup2 onto itself takes a fresh handle";
  EXPECT_EQ(zav::read(20, &c, 1), 1);
  EXPECT_EQ(c, 'd');
  EXPECT_EQ(zav::close(20), 0);
}

TEST_F(Descriptors, FcntlCommands) {
  int fd = open_file("fcntl", "xyz");
  ASSERT_GE(fd, 0);
  ASSERT_EQ(zav::dup2(fd, 10), 10);
  ASSERT_EQ(zav::dup2(fd, 11), 11);
  EXPECT_EQ(zav::fcntl(fd, F_DUPFD_, 10), 12) << "the lowest free descriptor not below 10";

  EXPECT_EQ(zav::fcntl(12, F_GETFD_), 0);
  void* before = zav::descriptor_handle(12);
  EXPECT_EQ(zav::fcntl(12, F_SETFD_, FD_CLOEXEC_), 0);
  EXPECT_NE(zav::descriptor_handle(12), before) << "F_SETFD replaces the handle";
  char c = 0;
  EXPECT_EQ(zav::lseek(12, 1, SEEK_SET_), 1);
  EXPECT_EQ(zav::read(12, &c, 1), 1);
  EXPECT_EQ(c, 'y');

  EXPECT_EQ(zav::fcntl(fd, F_SETFL_, 1), 0);
  struct {
    int cmd;
    const char* name;
  } const refused[] = {{F_GETFL_, "F_GETFL"}, {8, "8"}, {-1, "-1"}};
  for (const auto& test : refused) {
    errno_ = 0;
    EXPECT_EQ(zav::fcntl(fd, test.cmd, 1), -1) << test.name;
    EXPECT_EQ(errno_, EINVAL_) << test.name;
  }
  errno_ = 0;
  EXPECT_EQ(zav::fcntl(fd, F_DUPFD_, -1), -1);
  EXPECT_EQ(errno_, EINVAL_);

  for (int d = 3; d < 14; ++d)
    if (zav::descriptor_handle(d) != nullptr) zav::close(d);
}

TEST_F(Descriptors, RecordLocksBetweenTwoDescriptors) {
  const std::string name = dir.write("locks", "0123456789abcdef");
  const int a = zav::open(name.c_str(), O_RDWR_);
  const int b = zav::open(name.c_str(), O_RDWR_);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);

  flock lock{F_WRLCK_, SEEK_SET_, 0, 8};
  ASSERT_EQ(zav::fcntl(a, F_SETLK_, &lock), 0) << "errno " << errno_;

  flock probe{F_WRLCK_, SEEK_SET_, 2, 4};
  EXPECT_EQ(zav::fcntl(b, F_GETLK_, &probe), 0);
  EXPECT_EQ(probe.l_type, F_WRLCK_) << "a held range leaves l_type as asked";
  flock other{F_RDLCK_, SEEK_SET_, 0, 8};
  errno_ = 0;
  EXPECT_EQ(zav::fcntl(b, F_SETLKW_, &other), -1) << "never waits";
  EXPECT_EQ(errno_, EINVAL_);
  flock free_range{F_WRLCK_, SEEK_SET_, 8, 8};
  EXPECT_EQ(zav::fcntl(b, F_GETLK_, &free_range), 0);
  EXPECT_EQ(free_range.l_type, F_UNLCK_);

  flock unlock_query{F_UNLCK_, SEEK_SET_, 0, 8};
  errno_ = 0;
  EXPECT_EQ(zav::fcntl(b, F_GETLK_, &unlock_query), -1);
  EXPECT_EQ(errno_, EINVAL_);

  flock unlock{F_UNLCK_, SEEK_SET_, 0, 8};
  EXPECT_EQ(zav::fcntl(a, F_SETLK_, &unlock), 0);
  probe.l_type = F_WRLCK_;
  EXPECT_EQ(zav::fcntl(b, F_GETLK_, &probe), 0);
  EXPECT_EQ(probe.l_type, F_UNLCK_);

  // Offsets from the current position and from the end.
  EXPECT_EQ(zav::lseek(a, 4, SEEK_SET_), 4);
  flock relative{F_WRLCK_, SEEK_CUR_, 2, 2};  // bytes 6 and 7
  ASSERT_EQ(zav::fcntl(a, F_SETLK_, &relative), 0);
  flock at5{F_WRLCK_, SEEK_SET_, 5, 1}, at6{F_WRLCK_, SEEK_SET_, 6, 1};
  EXPECT_EQ(zav::fcntl(b, F_GETLK_, &at5), 0);
  EXPECT_EQ(at5.l_type, F_UNLCK_);
  EXPECT_EQ(zav::fcntl(b, F_GETLK_, &at6), 0);
  EXPECT_EQ(at6.l_type, F_WRLCK_);
  flock from_end{F_WRLCK_, SEEK_END_, -2, 2};  // bytes 14 and 15
  ASSERT_EQ(zav::fcntl(a, F_SETLK_, &from_end), 0);
  EXPECT_EQ(zav::lseek(a, 0, SEEK_CUR_), 16) << "a lock from the end leaves the position there";
  flock at15{F_WRLCK_, SEEK_SET_, 15, 1};
  EXPECT_EQ(zav::fcntl(b, F_GETLK_, &at15), 0);
  EXPECT_EQ(at15.l_type, F_WRLCK_);

  EXPECT_EQ(zav::close(a), 0);
  EXPECT_EQ(zav::close(b), 0);
}

TEST(ErrnoMapping, FoldsTheCodesPosixCallersTest) {
  const struct {
    DWORD win32;
    int expected;
  } cases[] = {
      {ERROR_INVALID_NAME, ENOENT_},     {ERROR_BAD_PATHNAME, ENOENT_},
      {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG_}, {ERROR_DIRECTORY, ENOTDIR_},
      {ERROR_FILE_EXISTS, EEXIST_},      {ERROR_ACCESS_DENIED, EACCES_},
      {ERROR_SHARING_VIOLATION, 32},     {0, 0},
  };
  for (const auto& test : cases) {
    errno_ = 12345;
    SetLastError(test.win32);
    EXPECT_EQ(set_errno_from_last_error(), -1);
    EXPECT_EQ(errno_, test.expected) << "last error " << test.win32;
  }
}

}  // namespace
