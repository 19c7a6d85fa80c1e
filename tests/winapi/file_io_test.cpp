// ReadFile, WriteFile and SetFilePointer on disk files, 64-bit positions included.
#include "conformance.h"

#include <cstring>

using namespace conformance;

namespace {

class FileIoTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    file = open_file(path("f"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  }
  void TearDown() override {
    CloseHandle(file);
    TempDirTest::TearDown();
  }
  void write(const char* text) {
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr))
        << "error " << GetLastError();
    ASSERT_EQ(written, std::strlen(text));
  }
  std::string read(DWORD count) {
    std::string buffer(count, '\0');
    DWORD got = 12345;
    EXPECT_TRUE(ReadFile(file, buffer.data(), count, &got, nullptr)) << "error " << GetLastError();
    buffer.resize(got > count ? 0 : got);
    return buffer;
  }
  DWORD position() { return SetFilePointer(file, 0, nullptr, FILE_CURRENT); }

  HANDLE file = INVALID_HANDLE_VALUE;
};

TEST_F(FileIoTest, WriteThenReadBack) {
  write("hello world");
  EXPECT_EQ(position(), 11u);
  SetLastError(sentinel);
  EXPECT_EQ(SetFilePointer(file, 6, nullptr, FILE_BEGIN), 6u);
  EXPECT_EQ(GetLastError(), sentinel) << "a successful seek left a last error";
  EXPECT_EQ(read(100), "world");
  EXPECT_EQ(read(100), "") << "end of file reads nothing and succeeds";
}

TEST_F(FileIoTest, MoveMethods) {
  write("0123456789");
  EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_BEGIN), 2u);
  EXPECT_EQ(SetFilePointer(file, 3, nullptr, FILE_CURRENT), 5u);
  EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_CURRENT), 4u);
  EXPECT_EQ(SetFilePointer(file, -3, nullptr, FILE_END), 7u);
  EXPECT_EQ(read(1), "7");
  EXPECT_EQ(SetFilePointer(file, 5, nullptr, FILE_END), 15u) << "past the end is allowed";
}

TEST_F(FileIoTest, NegativeSeekFailsAndKeepsThePosition) {
  write("abc");
  SetLastError(sentinel);
  EXPECT_EQ(SetFilePointer(file, -5, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_NEGATIVE_SEEK});
  EXPECT_EQ(position(), 3u);

  SetLastError(sentinel);
  EXPECT_EQ(SetFilePointer(file, -4, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_NEGATIVE_SEEK});

  LONG high = -1;
  SetLastError(sentinel);
  EXPECT_EQ(SetFilePointer(file, -5, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_NEGATIVE_SEEK});
  EXPECT_EQ(high, -1) << "a failed seek changed the high part";
  EXPECT_EQ(position(), 3u);
}

TEST_F(FileIoTest, BadMoveMethodIsAnInvalidParameter) {
  SetLastError(sentinel);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, 7), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST_F(FileIoTest, PositionsBeyondFourGigabytes) {
  LONG high = 1;
  SetLastError(sentinel);
  EXPECT_EQ(SetFilePointer(file, 16, &high, FILE_BEGIN), 16u);
  EXPECT_EQ(high, 1);
  write("Z");

  high = 0;
  EXPECT_EQ(SetFilePointer(file, 0, &high, FILE_END), 17u);
  EXPECT_EQ(high, 1) << "the size is 4 GiB + 17";

  // High part -1 with a low part makes a negative 64-bit distance.
  high = -1;
  EXPECT_EQ(SetFilePointer(file, -17, &high, FILE_CURRENT), 0u);
  EXPECT_EQ(high, 1);

  high = 1;
  ASSERT_EQ(SetFilePointer(file, 16, &high, FILE_BEGIN), 16u);
  EXPECT_EQ(read(10), "Z");

  // Without a high part the answer is the low part of the new position.
  SetLastError(sentinel);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 17u);
  EXPECT_EQ(GetLastError(), sentinel);
}

TEST_F(FileIoTest, LowPartOfAllOnesSucceedsWithNoError) {
  LONG high = 0;
  SetLastError(sentinel);
  EXPECT_EQ(SetFilePointer(file, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD{NO_ERROR}) << "0xFFFFFFFF is a position here, the last error says so";
  EXPECT_EQ(high, 0);
}

TEST_F(FileIoTest, OverlappedOffsetReadsThereAndMovesThePointer) {
  write("0123456789");
  OVERLAPPED at{};
  at.Offset = 4;
  char buffer[3];
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(file, buffer, 3, &got, &at)) << "error " << GetLastError();
  EXPECT_EQ(std::string(buffer, got), "456");
  EXPECT_EQ(position(), 7u);
}

TEST_F(FileIoTest, AccessIsCheckedPerHandle) {
  write("abc");
  HANDLE reader = open_file(path("f"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  EXPECT_EQ(reader, INVALID_HANDLE_VALUE) << "the fixture's handle shares nothing";
  CloseHandle(file);

  reader = open_file(path("f"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  DWORD count = 99;
  SetLastError(sentinel);
  EXPECT_FALSE(WriteFile(reader, "x", 1, &count, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(count, 0u);
  CloseHandle(reader);

  file = open_file(path("f"), GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[4];
  SetLastError(sentinel);
  EXPECT_FALSE(ReadFile(file, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
}

TEST_F(FileIoTest, AppendOnlyAccessWritesAtTheEnd) {
  write("abc");
  CloseHandle(file);
  file = open_file(path("f"), FILE_APPEND_DATA, 0, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  write("de");
  CloseHandle(file);
  file = open_file(path("f"), GENERIC_READ, 0, OPEN_EXISTING);
  EXPECT_EQ(read(10), "abcde");
}

}  // namespace
