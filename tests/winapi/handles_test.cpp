// Handles: closing, duplicating, standard handles, file types, byte-range locks.
#include "conformance.h"

#ifndef _WIN32
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#endif

using namespace conformance;

namespace {

class HandleTest : public TempDirTest {
 protected:
  HANDLE open_shared(const std::string& name, DWORD access = GENERIC_READ | GENERIC_WRITE) {
    HANDLE file = open_file(path(name), access, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    return file;
  }
};

TEST_F(HandleTest, CloseHandleTwiceFailsTheSecondTime) {
  HANDLE file = open_shared("f");
  SetLastError(sentinel);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(GetLastError(), sentinel);
  SetLastError(sentinel);
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

TEST(Handles, NeverOpenedHandlesAreInvalid) {
  for (HANDLE bogus : {HANDLE(nullptr), reinterpret_cast<HANDLE>(0x12340), reinterpret_cast<HANDLE>(0x1231)}) {
    SetLastError(sentinel);
    EXPECT_FALSE(CloseHandle(bogus));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    char byte;
    DWORD count;
    SetLastError(sentinel);
    EXPECT_FALSE(ReadFile(bogus, &byte, 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    SetLastError(sentinel);
    EXPECT_EQ(GetFileType(bogus), DWORD{FILE_TYPE_UNKNOWN});
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  }
}

TEST(Handles, CurrentProcessPseudoHandle) {
  EXPECT_EQ(GetCurrentProcess(), reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)));
  SetLastError(sentinel);
  EXPECT_TRUE(CloseHandle(GetCurrentProcess())) << "closing the pseudo-handle is a no-op that succeeds";
}

TEST_F(HandleTest, DuplicateOutlivesTheOriginal) {
  HANDLE file = open_shared("f");
  HANDLE duplicate = nullptr;
  SetLastError(sentinel);
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &duplicate, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  EXPECT_EQ(GetLastError(), sentinel);
  EXPECT_NE(duplicate, file);
  ASSERT_TRUE(CloseHandle(file));
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(duplicate, "dup", 3, &written, nullptr)) << "error " << GetLastError();
  EXPECT_TRUE(CloseHandle(duplicate));
  EXPECT_EQ(contents("f"), "dup");
}

TEST_F(HandleTest, DuplicateSharesTheFilePointer) {
  HANDLE file = open_shared("f");
  HANDLE duplicate = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &duplicate, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  DWORD written = 0;
  WriteFile(file, "abcd", 4, &written, nullptr);
  EXPECT_EQ(SetFilePointer(duplicate, 0, nullptr, FILE_CURRENT), 4u);
  CloseHandle(duplicate);
  CloseHandle(file);
}

TEST_F(HandleTest, DuplicateCloseSourceClosesTheSource) {
  HANDLE file = open_shared("f");
  HANDLE duplicate = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &duplicate, 0, FALSE,
                              DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(duplicate, "x", 1, &written, nullptr)) << "error " << GetLastError();
  EXPECT_TRUE(CloseHandle(duplicate));
  SetLastError(sentinel);
  EXPECT_FALSE(CloseHandle(file)) << "the source is still open";
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

TEST_F(HandleTest, DuplicateWithLessAccess) {
  HANDLE file = open_shared("f");
  HANDLE reader = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &reader, GENERIC_READ, FALSE, 0));
  DWORD written = 0;
  SetLastError(sentinel);
  EXPECT_FALSE(WriteFile(reader, "x", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  CloseHandle(reader);
  CloseHandle(file);
}

TEST(Handles, DuplicateOfAClosedHandleFails) {
  HANDLE r, w;
  ASSERT_TRUE(CreatePipe(&r, &w, nullptr, 0));
  CloseHandle(r);
  CloseHandle(w);
  HANDLE duplicate = nullptr;
  SetLastError(sentinel);
  EXPECT_FALSE(DuplicateHandle(GetCurrentProcess(), r, GetCurrentProcess(), &duplicate, 0, FALSE,
                               DUPLICATE_SAME_ACCESS));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

TEST(Handles, StandardHandles) {
  SetLastError(sentinel);
  EXPECT_EQ(GetStdHandle(5), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  SetLastError(sentinel);
  EXPECT_FALSE(SetStdHandle(5, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});

  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  HANDLE r, w;
  ASSERT_TRUE(CreatePipe(&r, &w, nullptr, 0));
  EXPECT_TRUE(SetStdHandle(STD_ERROR_HANDLE, w));
  EXPECT_EQ(GetStdHandle(STD_ERROR_HANDLE), w);
  DWORD count = 0;
  EXPECT_TRUE(WriteFile(GetStdHandle(STD_ERROR_HANDLE), "err", 3, &count, nullptr));
  char buffer[8];
  EXPECT_TRUE(ReadFile(r, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(std::string(buffer, count), "err");
  EXPECT_TRUE(SetStdHandle(STD_ERROR_HANDLE, error));
  CloseHandle(r);
  CloseHandle(w);
}

#ifndef _WIN32
// The layer's standard handles stand for descriptors 0 to 2 themselves.
TEST(HandlesDeathTest, ClosingTheStandardOutputHandleClosesDescriptorOne) {
  EXPECT_EXIT(
      {
        CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE));
        ExitProcess(fcntl(1, F_GETFD) == -1 && errno == EBADF ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

TEST_F(HandleTest, FileTypes) {
  HANDLE file = open_shared("f");
  SetLastError(sentinel);
  EXPECT_EQ(GetFileType(file), DWORD{FILE_TYPE_DISK});
  EXPECT_EQ(GetLastError(), sentinel);
  CloseHandle(file);

  HANDLE r, w;
  ASSERT_TRUE(CreatePipe(&r, &w, nullptr, 0));
  EXPECT_EQ(GetFileType(r), DWORD{FILE_TYPE_PIPE});
  EXPECT_EQ(GetFileType(w), DWORD{FILE_TYPE_PIPE});
  CloseHandle(r);
  CloseHandle(w);

  HANDLE nul = CreateFileA("nul", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(nul, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileType(nul), DWORD{FILE_TYPE_CHAR});
  CloseHandle(nul);
}

TEST_F(HandleTest, ConsoleModeOnlyForConsoles) {
  HANDLE file = open_shared("f");
  HANDLE r, w;
  ASSERT_TRUE(CreatePipe(&r, &w, nullptr, 0));
  HANDLE nul = CreateFileA("nul", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  for (HANDLE h : {file, r, nul}) {
    DWORD mode = 77;
    SetLastError(sentinel);
    EXPECT_FALSE(GetConsoleMode(h, &mode));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  }
  for (HANDLE h : {file, r, w, nul}) CloseHandle(h);
}

#ifndef _WIN32
// A terminal is a console: a pseudo-terminal stands in for one.
TEST(Handles, TerminalIsACharacterDeviceWithAConsoleMode) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  HANDLE terminal = CreateFileA(ptsname(master), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(terminal, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  EXPECT_EQ(GetFileType(terminal), DWORD{FILE_TYPE_CHAR});
  DWORD mode = 0;
  SetLastError(sentinel);
  EXPECT_TRUE(GetConsoleMode(terminal, &mode)) << "error " << GetLastError();
  EXPECT_EQ(mode, DWORD{ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT});
  CloseHandle(terminal);
  close(master);
}
#endif

class LockTest : public HandleTest {
 protected:
  void SetUp() override {
    HandleTest::SetUp();
    make_file("f", "0123456789");
    first = open_shared("f");
    second = open_shared("f", GENERIC_READ);
  }
  void TearDown() override {
    CloseHandle(first);
    CloseHandle(second);
    HandleTest::TearDown();
  }
  void expect_refused(HANDLE h, DWORD offset, DWORD length) {
    SetLastError(sentinel);
    EXPECT_FALSE(LockFile(h, offset, 0, length, 0)) << "range " << offset << "+" << length;
    EXPECT_EQ(GetLastError(), DWORD{ERROR_LOCK_VIOLATION}) << "range " << offset << "+" << length;
  }
  HANDLE first = INVALID_HANDLE_VALUE;
  HANDLE second = INVALID_HANDLE_VALUE;
};

TEST_F(LockTest, OtherHandleIsRefusedOverlappingRanges) {
  SetLastError(sentinel);
  ASSERT_TRUE(LockFile(first, 2, 0, 4, 0));
  EXPECT_EQ(GetLastError(), sentinel);
  expect_refused(second, 2, 4);
  expect_refused(second, 0, 3);
  expect_refused(second, 5, 10);
  EXPECT_TRUE(LockFile(second, 6, 0, 2, 0)) << "adjacent range: error " << GetLastError();
  EXPECT_TRUE(LockFile(second, 0, 0, 2, 0)) << "adjacent range: error " << GetLastError();
}

TEST_F(LockTest, SameHandleIsRefusedToo) {
  ASSERT_TRUE(LockFile(first, 2, 0, 4, 0));
  expect_refused(first, 3, 1);
}

TEST_F(LockTest, UnlockFreesTheRangeForOthers) {
  ASSERT_TRUE(LockFile(first, 2, 0, 4, 0));
  SetLastError(sentinel);
  EXPECT_TRUE(UnlockFile(first, 2, 0, 4, 0));
  EXPECT_EQ(GetLastError(), sentinel);
  EXPECT_TRUE(LockFile(second, 3, 0, 1, 0)) << "error " << GetLastError();
}

TEST_F(LockTest, UnlockMustNameALockedRangeExactly) {
  ASSERT_TRUE(LockFile(first, 0, 0, 10, 0));
  SetLastError(sentinel);
  EXPECT_FALSE(UnlockFile(first, 0, 0, 5, 0));
  EXPECT_KNOWN_WINE_DIFFERENCE(GetLastError(), DWORD{ERROR_NOT_LOCKED}, DWORD{ERROR_LOCK_VIOLATION},
                               "Wine reports an unlocked range as a lock violation");
  SetLastError(sentinel);
  EXPECT_FALSE(UnlockFile(second, 0, 0, 10, 0)) << "another handle's lock was released";
  EXPECT_TRUE(UnlockFile(first, 0, 0, 10, 0));
}

TEST_F(LockTest, ClosingTheHandleReleasesItsLocks) {
  ASSERT_TRUE(LockFile(first, 0, 0, 10, 0));
  CloseHandle(first);
  first = open_shared("f");
  EXPECT_TRUE(LockFile(second, 0, 0, 10, 0)) << "error " << GetLastError();
}

TEST_F(LockTest, DuplicatesShareTheLocks) {
  HANDLE duplicate = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), first, GetCurrentProcess(), &duplicate, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  ASSERT_TRUE(LockFile(duplicate, 4, 0, 2, 0));
  expect_refused(first, 4, 2);
  EXPECT_TRUE(UnlockFile(first, 4, 0, 2, 0)) << "the lock belongs to the open file, error " << GetLastError();
  CloseHandle(duplicate);
}

TEST_F(LockTest, RangesBeyondFourGigabytesAndOverflow) {
  EXPECT_TRUE(LockFile(first, 0, 1, 16, 0)) << "error " << GetLastError();
  SetLastError(sentinel);
  EXPECT_FALSE(LockFile(second, 8, 1, 1, 0));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_LOCK_VIOLATION});
  SetLastError(sentinel);
  EXPECT_FALSE(LockFile(first, 0xFFFFFFFF, 0xFFFFFFFF, 2, 0));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST_F(LockTest, ZeroLengthLocks) {
  ASSERT_TRUE(LockFile(first, 0, 0, 10, 0));
  expect_refused(second, 5, 0);
  EXPECT_TRUE(LockFile(second, 20, 0, 0, 0)) << "error " << GetLastError();
  EXPECT_TRUE(LockFile(first, 20, 0, 1, 0)) << "an empty lock blocks nothing, error " << GetLastError();
  EXPECT_TRUE(UnlockFile(second, 20, 0, 0, 0)) << "error " << GetLastError();
}

}  // namespace
