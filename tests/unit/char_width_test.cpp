// Narrow/wide name conversions and the wide file calls with their narrow fallback.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <zav/errno.h>
#include <zav/startup.h>
#include <zav/stdlib.h>
#include <zav/wide.h>

#include "scratch_dir.h"

#ifdef _WIN32
#define WIDE(s) L##s
#else
#define WIDE(s) u##s
#endif

namespace {

using wstring = std::basic_string<WCHAR>;

wstring widened(const std::string& narrow) {
  wstring wide(narrow.size() + 1, WCHAR{});
  int n = zav::wide_from_narrow(wide.data(), narrow.c_str(), static_cast<int>(wide.size()));
  wide.resize(n > 0 ? n - 1 : 0);
  return wide;
}

std::string narrowed(const wstring& wide) {
  std::string narrow(4 * wide.size() + 1, '\0');
  int n = zav::narrow_from_wide(narrow.data(), wide.c_str(), static_cast<int>(narrow.size()));
  narrow.resize(n > 0 ? n : 0);
  return narrow;
}

std::string printable(const wstring& w) {
  std::string out;
  for (WCHAR c : w) out += c < 128 ? std::string(1, static_cast<char>(c)) : "\\u" + std::to_string(c);
  return out;
}

// Points the runtime's environment at the test's own, with QV_WIN95_DEBUG or without.
class Environment {
 public:
  explicit Environment(bool narrow_forced) : saved_(zav::environ_) {
    entries_[0] = const_cast<char*>(narrow_forced ? "QV_WIN95_DEBUG=1" : "OTHER=1");
    zav::environ_ = entries_;
  }
  ~Environment() { zav::environ_ = saved_; }

 private:
  char** saved_;
  char* entries_[2] = {nullptr, nullptr};
};

TEST(Conversions, RoundTripAndBufferLimits) {
  EXPECT_EQ(widened("abc"), WIDE("abc"));
  EXPECT_EQ(narrowed(WIDE("abc")), "abc");

  WCHAR small[3];
  EXPECT_EQ(zav::wide_from_narrow(small, "abcdef", 3), 3) << "a buffer too small gives the count";
  char narrow[3];
  EXPECT_EQ(zav::narrow_from_wide(narrow, WIDE("abcdef"), 3), 3) << "a buffer too small gives the size";

  char untouched[4] = "xyz";
  EXPECT_EQ(zav::narrow_from_wide(untouched, WIDE("abc"), 0), 0);
  EXPECT_STREQ(untouched, "xyz");
}

// Whether U+0E01 converts to the file code page without a default character.
// UTF-8 refuses the used-default flag (ERROR_INVALID_PARAMETER) and has a form
// for every character.
bool file_code_page_has_narrow_thai() {
  char narrow[16];
  BOOL used = FALSE;
  UINT page = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
  if (WideCharToMultiByte(page, 0, WIDE("\u0E01"), -1, narrow, sizeof narrow, nullptr, &used) != 0) return !used;
  return GetLastError() == ERROR_INVALID_PARAMETER &&
         WideCharToMultiByte(page, 0, WIDE("\u0E01"), -1, narrow, sizeof narrow, nullptr, nullptr) != 0;
}

TEST(Conversions, ACharacterWithoutANarrowFormIsEILSEQ) {
  char narrow[16];
  if (file_code_page_has_narrow_thai()) GTEST_SKIP() << "the file code page has a narrow form for U+0E01";
  zav::errno_ = 0;
  EXPECT_EQ(zav::narrow_from_wide(narrow, WIDE("a\u0E01"), sizeof narrow), -1);
  EXPECT_EQ(zav::errno_, zav::EILSEQ_);
}

TEST(Conversions, FollowTheFileFunctionsCodePage) {
  char ansi[8] = "", oem[8] = "";
  WideCharToMultiByte(CP_ACP, 0, WIDE("\u00E9"), -1, ansi, sizeof ansi, nullptr, nullptr);
  WideCharToMultiByte(CP_OEMCP, 0, WIDE("\u00E9"), -1, oem, sizeof oem, nullptr, nullptr);
  if (std::strcmp(ansi, oem) == 0) GTEST_SKIP() << "the ANSI and OEM code pages are the same here";
  SetFileApisToOEM();
  std::string under_oem = narrowed(WIDE("\u00E9"));
  wstring back_under_oem = widened(oem);
  SetFileApisToANSI();
  EXPECT_EQ(under_oem, oem);
  EXPECT_EQ(back_under_oem, WIDE("\u00E9"));
  EXPECT_EQ(narrowed(WIDE("\u00E9")), ansi);
}

TEST(Conversions, WidenPathAllocatesTheWideName) {
  WCHAR* wide = zav::widen_path("dir/name.txt");
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wstring(wide), WIDE("dir/name.txt"));
  zav::free(wide);
  wide = zav::widen_path("");
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide[0], WCHAR{});
  zav::free(wide);
}

class Wrappers : public testing::Test {
 protected:
  void SetUp() override {
    file_ = scratch_.write("plain.txt", "12345");
    wide_file_ = widened(file_);
  }
  // The fallback leaves the narrow name it used behind; that is how a test sees it ran.
  std::string last_narrow_name() const {
    return zav::narrow_for_ansi_call != nullptr ? zav::narrow_for_ansi_call : "<none>";
  }
  void mark_narrow_name(const char* mark) {
    Environment forced(true);
    wstring name = widened(mark);
    zav::get_file_attributes_w(name.c_str());
    ASSERT_EQ(last_narrow_name(), mark);
  }

  ztest::ScratchDir scratch_;
  std::string file_;
  wstring wide_file_;
};

TEST_F(Wrappers, QvWin95DebugSendsEveryCallToTheNarrowFunction) {
  Environment forced(true);

  EXPECT_EQ(zav::get_file_attributes_w(wide_file_.c_str()), GetFileAttributesA(file_.c_str()));
  EXPECT_EQ(last_narrow_name(), file_);

  WIN32_FIND_DATAW found;
  std::memset(&found, 0x55, sizeof found);
  HANDLE search = zav::find_first_file_w(wide_file_.c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE) << GetLastError();
  FindClose(search);
  EXPECT_EQ(wstring(found.cFileName), WIDE("plain.txt"));
  EXPECT_EQ(found.nFileSizeLow, 5u);
  EXPECT_EQ(found.nFileSizeHigh, 0u);
  EXPECT_EQ(found.dwFileAttributes, GetFileAttributesA(file_.c_str()));

  mark_narrow_name("mark");
  HANDLE file = zav::create_file_w(wide_file_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
  char bytes[8] = "";
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(file, bytes, sizeof bytes, &got, nullptr));
  CloseHandle(file);
  EXPECT_EQ(std::string(bytes, got), "12345");
  EXPECT_EQ(last_narrow_name(), file_);

  mark_narrow_name("mark");
  WCHAR full[MAX_PATH + 1];
  WCHAR* part = nullptr;
  DWORD n = zav::get_full_path_name_w(wide_file_.c_str(), MAX_PATH + 1, full, &part);
  EXPECT_EQ(last_narrow_name(), file_);
  char expected[MAX_PATH + 1];
  ASSERT_EQ(n, GetFullPathNameA(file_.c_str(), sizeof expected, expected, nullptr));
  EXPECT_EQ(wstring(full), widened(expected));
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(wstring(part), WIDE("plain.txt"));

  WCHAR cwd[MAX_PATH + 1];
  char narrow_cwd[MAX_PATH + 1];
  n = zav::get_current_directory_w(MAX_PATH + 1, cwd);
  ASSERT_EQ(n, GetCurrentDirectoryA(sizeof narrow_cwd, narrow_cwd));
  EXPECT_EQ(wstring(cwd), widened(narrow_cwd));
}

TEST_F(Wrappers, ATooSmallBufferGetsTheNeededCountWithoutConversion) {
  Environment forced(true);
  WCHAR full[4] = {WIDE('#'), WIDE('#'), WIDE('#'), WIDE('#')};
  DWORD n = zav::get_full_path_name_w(wide_file_.c_str(), 4, full, nullptr);
  EXPECT_GE(n, 4u);
  EXPECT_EQ(full[0], WIDE('#'));
}

TEST_F(Wrappers, WithoutTheVariableTheWideFunctionAnswers) {
  if (GetVersion() & 0x80000000u) GTEST_SKIP() << "running as Windows 95/98, whose wide functions fail";
  mark_narrow_name("mark");
  Environment plain(false);
  EXPECT_EQ(zav::get_file_attributes_w(wide_file_.c_str()), GetFileAttributesA(file_.c_str()));
  WCHAR cwd[MAX_PATH + 1];
  EXPECT_GT(zav::get_current_directory_w(MAX_PATH + 1, cwd), 0u);
  EXPECT_EQ(last_narrow_name(), "mark");
}

TEST_F(Wrappers, AWideFailureOtherThanNotImplementedIsNotRetried) {
  if (GetVersion() & 0x80000000u) GTEST_SKIP() << "running as Windows 95/98";
  mark_narrow_name("mark");
  Environment plain(false);
  wstring missing = widened(scratch_.path() + "/missing.txt");
  WIN32_FIND_DATAW found;
  SetLastError(0xdeadbeef);
  EXPECT_EQ(zav::find_first_file_w(missing.c_str(), &found), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SetLastError(0xdeadbeef);
  EXPECT_EQ(zav::get_file_attributes_w(missing.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(last_narrow_name(), "mark");
}

TEST_F(Wrappers, ANameWithoutANarrowFormReachesOnlyTheWideFunction) {
  if (file_code_page_has_narrow_thai()) GTEST_SKIP() << "the file code page has a narrow form for U+0E01";
  wstring name = widened(scratch_.path() + "/") + WIDE("\u0E01.txt");
  {
    Environment forced(true);
    zav::errno_ = 0;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(zav::create_file_w(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                 nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_EQ(zav::errno_, zav::EILSEQ_);
    WCHAR full[MAX_PATH + 1];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(zav::get_full_path_name_w(name.c_str(), MAX_PATH + 1, full, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  }
  // Whether the host's file names can hold the character is Wine's business; the
  // full name is made without the file system.
  Environment plain(false);
  WCHAR full[MAX_PATH + 1];
  WCHAR* part = nullptr;
  DWORD n = zav::get_full_path_name_w(name.c_str(), MAX_PATH + 1, full, &part);
  ASSERT_GT(n, 0u) << GetLastError();
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(wstring(part), WIDE("\u0E01.txt")) << printable(part);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(zav::get_file_attributes_w(name.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST_F(Wrappers, TheNarrowNameBufferOnlyGrows) {
  Environment forced(true);
  std::string long_name = scratch_.path() + "/" + std::string(120, 'n');
  wstring wide_long = widened(long_name);
  zav::get_file_attributes_w(wide_long.c_str());
  ASSERT_EQ(last_narrow_name(), long_name);
  std::size_t capacity = zav::narrow_for_ansi_call_capacity;
  char* buffer = zav::narrow_for_ansi_call;
  EXPECT_GT(capacity, long_name.size());
  zav::get_file_attributes_w(WIDE("x"));
  EXPECT_EQ(last_narrow_name(), "x");
  EXPECT_EQ(zav::narrow_for_ansi_call_capacity, capacity);
  EXPECT_EQ(zav::narrow_for_ansi_call, buffer);
}

// The host layer's Windows 95 personality: the W functions really are missing.
TEST_F(Wrappers, UnderWindows95TheWideCallsFallBack) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows (and Wine) answer as Windows NT; the 95 personality is the host layer's";
#else
  const char* saved = std::getenv("WINAPI_VERSION");
  std::string restore = saved != nullptr ? saved : "";
  setenv("WINAPI_VERSION", "95", 1);
  bool personality = (GetVersion() & 0x80000000u) != 0;
  if (personality) {
    mark_narrow_name("mark");
    Environment plain(false);
    EXPECT_EQ(zav::get_file_attributes_w(wide_file_.c_str()), GetFileAttributesA(file_.c_str()));
    EXPECT_EQ(last_narrow_name(), file_);
    WCHAR cwd[MAX_PATH + 1];
    char narrow_cwd[MAX_PATH + 1];
    EXPECT_EQ(zav::get_current_directory_w(MAX_PATH + 1, cwd), GetCurrentDirectoryA(sizeof narrow_cwd, narrow_cwd));
    EXPECT_EQ(wstring(cwd), widened(narrow_cwd));
  }
  if (saved != nullptr)
    setenv("WINAPI_VERSION", restore.c_str(), 1);
  else
    unsetenv("WINAPI_VERSION");
  if (!personality) GTEST_SKIP() << "the host layer does not answer as Windows 95 for WINAPI_VERSION=95 yet";
#endif
}

}  // namespace
