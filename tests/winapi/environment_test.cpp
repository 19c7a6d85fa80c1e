// The environment: variables by name, and the block of all of them.
#include "conformance.h"

#include <cstring>
#include <string>
#include <vector>

using namespace conformance;

namespace {

class EnvironmentTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetEnvironmentVariableA("WinapiTestVar", nullptr);
    SetEnvironmentVariableA("WinapiTestEmpty", nullptr);
  }
};

TEST_F(EnvironmentTest, SetThenGet) {
  SetLastError(sentinel);
  ASSERT_TRUE(SetEnvironmentVariableA("WinapiTestVar", "abcdef"));
  EXPECT_EQ(GetLastError(), sentinel);
  char buffer[16] = "";
  SetLastError(sentinel);
  EXPECT_EQ(GetEnvironmentVariableA("WinapiTestVar", buffer, sizeof buffer), 6u);
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_EQ(GetLastError(), sentinel);
}

TEST_F(EnvironmentTest, NamesIgnoreCase) {
  ASSERT_TRUE(SetEnvironmentVariableA("WinapiTestVar", "one"));
  char buffer[16] = "";
  EXPECT_EQ(GetEnvironmentVariableA("WINAPITESTVAR", buffer, sizeof buffer), 3u);
  EXPECT_STREQ(buffer, "one");
  ASSERT_TRUE(SetEnvironmentVariableA("winapitestvar", "two"));
  EXPECT_EQ(GetEnvironmentVariableA("WinapiTestVar", buffer, sizeof buffer), 3u);
  EXPECT_STREQ(buffer, "two") << "setting in another case made a second variable";
}

TEST_F(EnvironmentTest, SmallBufferGetsTheSizeNeeded) {
  ASSERT_TRUE(SetEnvironmentVariableA("WinapiTestVar", "abcdef"));
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(GetEnvironmentVariableA("WinapiTestVar", buffer, 6), 7u) << "the size counts the NUL";
  EXPECT_EQ(GetEnvironmentVariableA("WinapiTestVar", nullptr, 0), 7u);
  EXPECT_EQ(GetEnvironmentVariableA("WinapiTestVar", buffer, 7), 6u) << "room for the NUL is enough";
}

TEST_F(EnvironmentTest, MissingAndDeleted) {
  char buffer[8];
  SetLastError(sentinel);
  EXPECT_EQ(GetEnvironmentVariableA("WinapiTestVar", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ENVVAR_NOT_FOUND});

  ASSERT_TRUE(SetEnvironmentVariableA("WinapiTestVar", "x"));
  SetLastError(sentinel);
  EXPECT_TRUE(SetEnvironmentVariableA("WinapiTestVar", nullptr));
  SetLastError(sentinel);
  EXPECT_EQ(GetEnvironmentVariableA("WinapiTestVar", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ENVVAR_NOT_FOUND});
  EXPECT_TRUE(SetEnvironmentVariableA("WinapiTestVar", nullptr)) << "deleting a missing variable succeeds";
}

TEST_F(EnvironmentTest, EmptyValueIsNotMissing) {
  ASSERT_TRUE(SetEnvironmentVariableA("WinapiTestEmpty", ""));
  char buffer[8] = "xxxxxxx";
  SetLastError(sentinel);
  EXPECT_EQ(GetEnvironmentVariableA("WinapiTestEmpty", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), sentinel);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(GetEnvironmentVariableA("WinapiTestEmpty", nullptr, 0), 1u);
}

TEST_F(EnvironmentTest, InvalidNames) {
  for (const char* name : {"", "Winapi=Test"}) {
    SetLastError(sentinel);
    EXPECT_FALSE(SetEnvironmentVariableA(name, "1")) << "name '" << name << "'";
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER}) << "name '" << name << "'";
  }
}

std::vector<std::string> entries(const char* block) {
  std::vector<std::string> list;
  for (const char* entry = block; *entry; entry += std::strlen(entry) + 1) list.emplace_back(entry);
  return list;
}

TEST_F(EnvironmentTest, BlockHoldsEveryVariableOnceEndedByAnEmptyEntry) {
  ASSERT_TRUE(SetEnvironmentVariableA("WinapiTestVar", "in the block"));
  LPSTR block = GetEnvironmentStrings();
  ASSERT_NE(block, nullptr);
  auto list = entries(block);
  int found = 0;
  for (auto& entry : list) {
    if (entry == "WinapiTestVar=in the block") ++found;
    // Windows keeps per-drive directories as entries that begin with '='.
    EXPECT_NE(entry.find('=', 1), std::string::npos) << "entry without a value: " << entry;
  }
  EXPECT_EQ(found, 1);
  EXPECT_TRUE(FreeEnvironmentStringsA(block));

  ASSERT_TRUE(SetEnvironmentVariableA("WinapiTestVar", nullptr));
  block = GetEnvironmentStrings();
  for (auto& entry : entries(block)) EXPECT_NE(entry.rfind("WinapiTestVar=", 0), 0u) << "deleted variable listed";
  FreeEnvironmentStringsA(block);
}

}  // namespace
