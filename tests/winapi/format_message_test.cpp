// FormatMessageA from the system table, LocalFree, LoadLibraryExA of message modules, CharToOemA.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace {

constexpr DWORD strerror_flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK;

std::string system_text(DWORD code, DWORD flags, DWORD* length) {
  char* text = nullptr;
  SetLastError(0xdeadbeef);
  *length = FormatMessageA(flags, nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string result = text != nullptr && *length != 0 ? std::string(text) : std::string();
  if (text != nullptr) LocalFree(text);
  return result;
}

TEST(FormatMessage, CodesTheLayerProducesHaveOneLineTexts) {
  for (DWORD code : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 8u, 17u, 18u, 32u, 80u, 87u, 109u, 122u, 123u, 126u, 131u,
                     145u, 161u, 183u, 206u, 267u, 1113u}) {
    DWORD length = 0;
    std::string text = system_text(code, strerror_flags, &length);
    EXPECT_NE(length, 0u) << "code " << code << ", last error " << GetLastError();
    EXPECT_EQ(length, text.size()) << "code " << code;
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << "code " << code << ": " << text;
  }
}

TEST(FormatMessage, WithoutWidthLimitTheTextEndsInALineBreak) {
  DWORD length = 0;
  std::string text = system_text(ERROR_FILE_NOT_FOUND, strerror_flags & ~FORMAT_MESSAGE_MAX_WIDTH_MASK, &length);
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(FormatMessage, DifferentCodesHaveDifferentTexts) {
  DWORD length = 0;
  EXPECT_NE(system_text(2, strerror_flags, &length), system_text(5, strerror_flags, &length));
}

TEST(FormatMessage, UnknownCodeFails) {
  DWORD length = 0;
  system_text(0x3fffffff, strerror_flags, &length);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

TEST(FormatMessage, CallerBufferTooSmallFails) {
  char buffer[4];
  SetLastError(0xdeadbeef);
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 2, 0, buffer,
                                sizeof buffer, nullptr);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(LoadLibraryEx, MissingModuleFailsWithModNotFound) {
  SetLastError(0xdeadbeef);
  HMODULE module = LoadLibraryExA("zav-no-such-module.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  EXPECT_EQ(module, nullptr);
#ifdef _WIN32
  // Known difference: Wine reports a data-file load of a missing module as a missing file.
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
#else
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
#endif
}

TEST(CharToOem, AsciiTextIsCopiedInPlace) {
  char text[] = "plain text 123";
  SetLastError(0xdeadbeef);
  EXPECT_TRUE(CharToOemA(text, text));
  EXPECT_STREQ(text, "plain text 123");
}

}  // namespace
