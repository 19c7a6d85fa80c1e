// MultiByteToWideChar/WideCharToMultiByte: round trips, sizes, flags; on the host
// also names with bytes that are not UTF-8, and the double-byte page 932.
#include "conformance.h"

#include <shellapi.h>

#include <cstdlib>

#ifndef _WIN32
#include <winapi_settings.h>
#endif

namespace {

using conformance::sentinel;

std::u16string to_wide(UINT page, const std::string& s, DWORD flags = 0) {
  WCHAR buffer[256];
  int n = MultiByteToWideChar(page, flags, s.data(), static_cast<int>(s.size()), buffer, 256);
  return n > 0 ? std::u16string(reinterpret_cast<char16_t*>(buffer), n) : u"<error>";
}

std::string to_narrow(UINT page, const std::u16string& s) {
  char buffer[256];
  int n = WideCharToMultiByte(page, 0, reinterpret_cast<LPCWSTR>(s.data()), static_cast<int>(s.size()), buffer,
                              sizeof buffer, nullptr, nullptr);
  return n > 0 ? std::string(buffer, n) : "<error>";
}

TEST(CodePages, Utf8RoundTripAndSizes) {
  const std::string text = "gr\xC3\xBC\xC3\x9F \xE6\x97\xA5 \xF0\x9F\x98\x80";
  const std::u16string wide = u"gr\u00FC\u00DF \u65E5 \U0001F600";
  EXPECT_EQ(to_wide(CP_UTF8, text), wide);
  EXPECT_EQ(to_narrow(CP_UTF8, wide), text);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0), static_cast<int>(wide.size()) + 1)
      << "-1 counts the terminator";
  WCHAR small[2];
  SetLastError(sentinel);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, small, 2), 0);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  // ASCII alone, and a name that goes on in UTF-8 after an ASCII start.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0), 4);
  SetLastError(sentinel);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, small, 2), 0);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  WCHAR exact[4];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, exact, 4), 4);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(exact)), u"abc");
  EXPECT_EQ(to_wide(CP_UTF8, "dir/gr\xC3\xBC"), u"dir/gr\u00FC");
  char narrow[3];
  SetLastError(sentinel);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(wide.c_str()), -1, narrow, 3, nullptr, nullptr),
            0);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
}

// Windows documents these refusals for UTF-8; Wine 8 converts regardless.
TEST(CodePages, Utf8RefusesFlagsAndDefaultCharacters) {
  WCHAR wide[8];
  SetLastError(sentinel);
  EXPECT_KNOWN_WINE_DIFFERENCE(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", -1, wide, 8), 0, 2,
                               "Wine takes any flag for UTF-8");
  EXPECT_KNOWN_WINE_DIFFERENCE(GetLastError(), DWORD{ERROR_INVALID_FLAGS}, sentinel, "Wine takes any flag for UTF-8");
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a", -1, wide, 8), 2);
  char narrow[8];
  BOOL used = FALSE;
  SetLastError(sentinel);
  EXPECT_KNOWN_WINE_DIFFERENCE(
      WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(u"a"), -1, narrow, 8, nullptr, &used), 0, 2,
      "Wine fills in the default-character report for UTF-8");
  EXPECT_KNOWN_WINE_DIFFERENCE(GetLastError(), DWORD{ERROR_INVALID_PARAMETER}, sentinel,
                               "Wine fills in the default-character report for UTF-8");
  SetLastError(sentinel);
  EXPECT_KNOWN_WINE_DIFFERENCE(WideCharToMultiByte(CP_UTF8, WC_COMPOSITECHECK, reinterpret_cast<LPCWSTR>(u"a"), -1,
                                                   narrow, 8, nullptr, nullptr),
                               0, 2, "Wine takes any flag for UTF-8");
  EXPECT_KNOWN_WINE_DIFFERENCE(GetLastError(), DWORD{ERROR_INVALID_FLAGS}, sentinel, "Wine takes any flag for UTF-8");
  SetLastError(sentinel);
  EXPECT_EQ(MultiByteToWideChar(12345, 0, "a", -1, wide, 8), 0);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST(CodePages, FileApisSwitch) {
  EXPECT_TRUE(AreFileApisANSI());
  SetFileApisToOEM();
  EXPECT_FALSE(AreFileApisANSI());
  SetFileApisToANSI();
  EXPECT_TRUE(AreFileApisANSI());
}

#ifndef _WIN32
// The layer's ANSI page is UTF-8, with undecodable bytes as U+DC80..U+DCFF.
TEST(CodePages, HostNamesWithInvalidUtf8SurviveTheRoundTrip) {
  const std::string name = "bad\xFF\xC3(\xED\xB2\x80";
  const std::u16string wide = to_wide(CP_ACP, name, MB_ERR_INVALID_CHARS);
  EXPECT_EQ(wide, u"bad\xDCFF\xDCC3(\xDCED\xDCB2\xDC80") << "an encoded surrogate is three bad bytes";
  EXPECT_EQ(to_narrow(CP_ACP, wide), name);
  EXPECT_EQ(to_narrow(CP_UTF8, u"\xD800x"), "\xEF\xBF\xBDx") << "other lone surrogates: U+FFFD";
  SetLastError(sentinel);
  char narrow[8];
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, reinterpret_cast<LPCWSTR>(u"\xD800"), 1, narrow, 8,
                                nullptr, nullptr),
            0);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_UNICODE_TRANSLATION});
  EXPECT_FALSE(IsDBCSLeadByte(0x82)) << "UTF-8 has no lead bytes";
}

TEST(CodePages, DoubleByteCodePage932) {
  WinapiSetCodePage(932);
  EXPECT_TRUE(IsDBCSLeadByte(0x82));
  EXPECT_TRUE(IsDBCSLeadByte(0xE0));
  EXPECT_FALSE(IsDBCSLeadByte(0x5C));
  EXPECT_FALSE(IsDBCSLeadByte(0xA0));
  // 0x95 0x5C is one character whose second byte is a backslash.
  EXPECT_EQ(to_wide(CP_ACP, "\x95\x5C\\"), u"\u8868\\");
  EXPECT_EQ(to_wide(CP_ACP, "dir\\a~b"), u"dir\\a~b") << "ASCII, backslash and tilde too, as in UTF-8";
  EXPECT_EQ(to_narrow(CP_ACP, u"\u8868\u3042"), "\x95\x5C\x82\xA0");
  EXPECT_EQ(to_wide(CP_ACP, "\xB1"), u"\uFF71") << "single-byte katakana";
  char narrow[8];
  BOOL used = FALSE;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(u"\u0E01"), 1, narrow, 8, nullptr, &used), 1);
  EXPECT_TRUE(used) << "no form in 932: the default character";
  EXPECT_EQ(narrow[0], '?');
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "a", -1, nullptr, 0), 2) << "932 takes MB_PRECOMPOSED";
  const std::string odd = "\x81\x20x";  // a lead byte before a byte no pair has
  EXPECT_EQ(to_narrow(CP_ACP, to_wide(CP_ACP, odd)), odd);
  WinapiSetCodePage(0);
}

// As on Windows, the code page stays what it was when the process first needed it.
TEST(CodePages, SettingIsReadOnce) {
  ::setenv("WINAPI_CODEPAGE", "932", 1);
  WinapiSetCodePage(0);
  EXPECT_TRUE(IsDBCSLeadByte(0x82));
  ::unsetenv("WINAPI_CODEPAGE");
  EXPECT_TRUE(IsDBCSLeadByte(0x82)) << "unchanged until the setting is read again";
  EXPECT_EQ(to_wide(CP_ACP, "\x95\x5C"), u"\u8868");
  WinapiSetCodePage(0);
  EXPECT_FALSE(IsDBCSLeadByte(0x82));
  EXPECT_EQ(to_wide(CP_ACP, "\xC3\xA9"), u"\u00E9");
}

// Windows 95/98 has no W functions.
TEST(CodePages, WideFunctionsFailUnderWindows95) {
  ::setenv("WINAPI_VERSION", "95", 1);
  EXPECT_NE(GetVersion() & 0x80000000u, 0u);
  WIN32_FIND_DATAW data;
  WCHAR buffer[MAX_PATH];
  const LPCWSTR name = reinterpret_cast<LPCWSTR>(u"/tmp");
  SetLastError(sentinel);
  EXPECT_EQ(FindFirstFileW(name, &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_CALL_NOT_IMPLEMENTED});
  SetLastError(sentinel);
  EXPECT_EQ(GetFileAttributesW(name), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_CALL_NOT_IMPLEMENTED});
  SetLastError(sentinel);
  EXPECT_EQ(CreateFileW(name, 0, 0, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_CALL_NOT_IMPLEMENTED});
  SetLastError(sentinel);
  EXPECT_EQ(GetFullPathNameW(name, MAX_PATH, buffer, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_CALL_NOT_IMPLEMENTED});
  SetLastError(sentinel);
  EXPECT_EQ(GetCurrentDirectoryW(MAX_PATH, buffer), 0u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_CALL_NOT_IMPLEMENTED});
  SetLastError(sentinel);
  EXPECT_FALSE(DeleteFileW(name));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_CALL_NOT_IMPLEMENTED});
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = reinterpret_cast<LPCWSTR>(u"/tmp/zav-no-such-entry\0");
  SetLastError(sentinel);
  EXPECT_EQ(SHFileOperationW(&operation), int{ERROR_CALL_NOT_IMPLEMENTED});
  EXPECT_EQ(GetLastError(), DWORD{ERROR_CALL_NOT_IMPLEMENTED});
  ::unsetenv("WINAPI_VERSION");
  EXPECT_EQ(GetVersion() & 0x80000000u, 0u);
}
#endif

}  // namespace
