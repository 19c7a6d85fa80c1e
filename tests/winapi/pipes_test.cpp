// Anonymous pipes: data flow and what each end sees when the other is gone.
#include "conformance.h"

using namespace conformance;

namespace {

class PipeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(CreatePipe(&reader, &writer, nullptr, 0)) << "error " << GetLastError(); }
  void TearDown() override {
    if (reader) CloseHandle(reader);
    if (writer) CloseHandle(writer);
  }
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
};

TEST_F(PipeTest, ReadGetsWhatIsThereWithoutWaitingForMore) {
  DWORD count = 0;
  ASSERT_TRUE(WriteFile(writer, "abc", 3, &count, nullptr));
  EXPECT_EQ(count, 3u);
  char buffer[16];
  SetLastError(sentinel);
  ASSERT_TRUE(ReadFile(reader, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(std::string(buffer, count), "abc");
  EXPECT_EQ(GetLastError(), sentinel);
}

TEST_F(PipeTest, WriteWithTheReadEndClosed) {
  CloseHandle(reader);
  reader = nullptr;
  DWORD count = 99;
  SetLastError(sentinel);
  EXPECT_FALSE(WriteFile(writer, "abc", 3, &count, nullptr)) << "the process must survive and see a failure";
  // Windows and Wine both say ERROR_NO_DATA here, not ERROR_BROKEN_PIPE.
  EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_DATA});
  EXPECT_EQ(count, 0u);
}

TEST_F(PipeTest, ReadWithTheWriteEndClosed) {
  DWORD count = 0;
  ASSERT_TRUE(WriteFile(writer, "xy", 2, &count, nullptr));
  CloseHandle(writer);
  writer = nullptr;
  char buffer[16];
  ASSERT_TRUE(ReadFile(reader, buffer, sizeof buffer, &count, nullptr)) << "data written before the close";
  EXPECT_EQ(std::string(buffer, count), "xy");
  count = 99;
  SetLastError(sentinel);
  EXPECT_FALSE(ReadFile(reader, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_BROKEN_PIPE});
  EXPECT_EQ(count, 0u);
}

TEST_F(PipeTest, EndsHaveOneDirection) {
  DWORD count = 0;
  char byte;
  SetLastError(sentinel);
  EXPECT_FALSE(WriteFile(reader, "x", 1, &count, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  SetLastError(sentinel);
  EXPECT_FALSE(ReadFile(writer, &byte, 1, &count, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
}

TEST_F(PipeTest, PipesCannotSeek) {
  SetLastError(sentinel);
  EXPECT_EQ(SetFilePointer(reader, 5, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_BAD_DEV_TYPE});
}

}  // namespace
