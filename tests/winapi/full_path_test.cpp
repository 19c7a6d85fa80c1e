// GetFullPathNameA/W, the current directory and the per-drive "=X:" variables.
#include <algorithm>
#include <vector>
#include "conformance.h"

#include <cctype>

#ifndef _WIN32
#include <winapi_settings.h>
#endif

namespace {

using conformance::sentinel;

std::string full(const std::string& name) {
  char buffer[MAX_PATH * 2];
  DWORD n = GetFullPathNameA(name.c_str(), sizeof buffer, buffer, nullptr);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : "error " + std::to_string(GetLastError());
}

std::string current() {
  char buffer[MAX_PATH * 2];
  DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : "error";
}

class FullPath : public conformance::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    saved_ = current();
  }
  void TearDown() override {
    EXPECT_TRUE(SetCurrentDirectoryA(saved_.c_str()));
    TempDirTest::TearDown();
  }
  std::string saved_;
};

TEST_F(FullPath, DotsResolveByText) {
  const std::string base = full(dir());
  ASSERT_TRUE(base.size() > 3 && base[1] == ':' && base[2] == '\\') << base;
  EXPECT_EQ(full(dir() + "\\a\\..\\b"), base + "\\b");
  EXPECT_EQ(full(dir() + "\\.\\x\\.\\y"), base + "\\x\\y");
  EXPECT_EQ(full(dir() + "/p//q"), base + "\\p\\q") << "either separator, repeated ones collapse";
  EXPECT_EQ(full(dir() + "\\missing\\"), base + "\\missing\\") << "a trailing separator stays";
  EXPECT_EQ(full(dir() + "\\sub\\."), base + "\\sub");
  EXPECT_EQ(full(dir() + "\\sub\\.."), base);
  EXPECT_EQ(full(dir() + "\\.x\\..y\\z"), base + "\\.x\\..y\\z") << "names that begin with dots are names";
  std::string drive = base.substr(0, 2);
  EXPECT_EQ(full(drive + "\\..\\..\\x"), drive + "\\x") << "never above the root";
  EXPECT_EQ(full(drive + "\\"), drive + "\\");
}

TEST_F(FullPath, FilePartAndBufferSizes) {
  std::string name = dir() + "\\file.txt";
  const std::string expected = full(name);
  char buffer[MAX_PATH * 2];
  char* part = nullptr;
  DWORD n = GetFullPathNameA(name.c_str(), sizeof buffer, buffer, &part);
  ASSERT_EQ(n, expected.size());
  ASSERT_NE(part, nullptr);
  EXPECT_STREQ(part, "file.txt");
  part = buffer;
  GetFullPathNameA((dir() + "\\").c_str(), sizeof buffer, buffer, &part);
  EXPECT_EQ(part, nullptr) << "no file part after a separator";

  char small[4] = "abc";
  EXPECT_EQ(GetFullPathNameA(name.c_str(), sizeof small, small, nullptr), expected.size() + 1)
      << "too small: the size with the terminator";
  EXPECT_EQ(GetFullPathNameA(name.c_str(), static_cast<DWORD>(expected.size()), buffer, nullptr),
            expected.size() + 1);

  std::u16string wide(name.begin(), name.end());
  WCHAR wbuffer[MAX_PATH * 2];
  WCHAR* wpart = nullptr;
  DWORD wn = GetFullPathNameW(reinterpret_cast<LPCWSTR>(wide.c_str()), MAX_PATH * 2, wbuffer, &wpart);
  EXPECT_EQ(wn, expected.size());
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(wbuffer)), std::u16string(expected.begin(), expected.end()));
  ASSERT_NE(wpart, nullptr);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(wpart)), u"file.txt");
}

TEST_F(FullPath, RelativeNamesFollowTheCurrentDirectory) {
  ASSERT_TRUE(CreateDirectoryA(path("sub").c_str(), nullptr));
  ASSERT_TRUE(SetCurrentDirectoryA(path("sub").c_str()));
  const std::string here = current();
  EXPECT_EQ(here, full(dir()) + "\\sub");
  EXPECT_EQ(full("x"), here + "\\x");
  EXPECT_EQ(full("..\\y"), full(dir()) + "\\y");
  EXPECT_EQ(full(here.substr(0, 2) + "z"), here + "\\z") << "X:name on the current drive";
  EXPECT_EQ(full("\\top"), here.substr(0, 2) + "\\top");
  SetLastError(sentinel);
  EXPECT_EQ(GetFullPathNameA("", MAX_PATH, nullptr, nullptr), 0u);
}

TEST_F(FullPath, CurrentDirectoryRoundTrip) {
  ASSERT_TRUE(CreateDirectoryA(path("a").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(path("a\\b").c_str(), nullptr));
  const std::string base = full(dir());
  std::string mixed = dir() + "/a//b\\";
  SetLastError(sentinel);
  ASSERT_TRUE(SetCurrentDirectoryA(mixed.c_str())) << GetLastError();
  EXPECT_EQ(current(), base + "\\a\\b") << "no trailing separator";
  ASSERT_TRUE(SetCurrentDirectoryA(".."));
  EXPECT_EQ(current(), base + "\\a");

  char small[2];
  DWORD needed = GetCurrentDirectoryA(sizeof small, small);
  EXPECT_EQ(needed, current().size() + 1);
  WCHAR wide[MAX_PATH * 2];
  EXPECT_EQ(GetCurrentDirectoryW(MAX_PATH * 2, wide), current().size());

  std::string drive = base.substr(0, 2);
  ASSERT_TRUE(SetCurrentDirectoryA(drive.c_str())) << "the current drive: no change";
  EXPECT_EQ(current(), base + "\\a");
  ASSERT_TRUE(SetCurrentDirectoryA((drive + "\\").c_str()));
  EXPECT_EQ(current(), drive + "\\") << "a root keeps its separator";
}

#ifndef _WIN32
// A directory set through a mapped drive reads back on that drive, also once
// the layer looks at the host's directory again.
TEST_F(FullPath, ADirectorySetOnAMappedDriveStaysThere) {
  ASSERT_TRUE(CreateDirectoryA(path("sub").c_str(), nullptr));
  std::string host = dir();
  for (char& c : host)
    if (c == '\\') c = '/';
  ASSERT_TRUE(SetEnvironmentVariableA("WINAPI_DRIVE_Q", host.c_str()));
  ASSERT_TRUE(SetCurrentDirectoryA("Q:\\sub")) << GetLastError();
  EXPECT_EQ(current(), "Q:\\sub");
  ::Sleep(5);
  EXPECT_EQ(current(), "Q:\\sub");
  EXPECT_EQ(full("x"), "Q:\\sub\\x");
  ASSERT_TRUE(SetCurrentDirectoryA(saved_.c_str()));
  SetEnvironmentVariableA("WINAPI_DRIVE_Q", nullptr);
}
#endif

// Relative and whole names of every length from 3 bytes to past five eight-byte
// words, with a backslash between each pair of components, reach the entries the
// same names with slashes reach; ']' (one bit away from a backslash) stays itself.
TEST_F(FullPath, BackslashedNamesOfEveryLengthReachWhatSlashedNamesReach) {
  ASSERT_TRUE(SetCurrentDirectoryA(dir().c_str()));
  auto slashed = [](std::string name) {
    for (char& c : name)
      if (c == '\\') c = '/';
    return name;
  };
  auto a_file = [](const std::string& name) {
    DWORD attributes = GetFileAttributesA(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  };
  std::string component;
  for (int length = 1; length <= 20; ++length) {
    component += length % 3 == 1 ? ']' : static_cast<char>('a' + length);
    ASSERT_TRUE(CreateDirectoryA(component.c_str(), nullptr)) << component << ": " << GetLastError();
    const std::string relative = component + "\\" + component;
    HANDLE file = conformance::open_file(relative, GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << relative << ": " << GetLastError();
    CloseHandle(file);
    EXPECT_TRUE(a_file(slashed(relative))) << relative;
    const std::string whole = dir() + "\\" + relative;
    EXPECT_TRUE(a_file(whole)) << whole;
    EXPECT_TRUE(DeleteFileA(whole.c_str())) << whole << ": " << GetLastError();
    EXPECT_EQ(GetFileAttributesA(slashed(relative).c_str()), INVALID_FILE_ATTRIBUTES) << relative;
    EXPECT_TRUE(RemoveDirectoryA(slashed(dir() + "\\" + component).c_str())) << component;
  }
}

#ifndef _WIN32
// 0x95 0x5C is one character of code page 932 whose second byte is a backslash.
// Before it go 0 to 9 bytes, so that it lies in the first eight bytes of the
// name, across them and in the last ones.
TEST_F(FullPath, DoubleByteSecondBytesAreNotSeparators) {
  WinapiSetCodePage(932);
  std::string prefix;
  for (int length = 0; length <= 9; ++length, prefix += 'a') {
    const std::string folder = path(prefix + "\x95\x5c");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << length << ": " << GetLastError();
    const std::string file = folder + "\\" + prefix + "\x95\x5c";
    HANDLE h = conformance::open_file(file, GENERIC_WRITE, 0, CREATE_NEW);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << length << ": " << GetLastError();
    CloseHandle(h);
    EXPECT_EQ(GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u) << length;
    char full[MAX_PATH];
    LPSTR file_part = nullptr;
    ASSERT_GT(GetFullPathNameA(file.c_str(), sizeof full, full, &file_part), 0u) << length;
    ASSERT_NE(file_part, nullptr) << length;
    EXPECT_EQ(std::string(file_part), prefix + "\x95\x5c") << length;
    // Searches for the folder, the file, and the folder's entries.
    for (const std::string& pattern : {folder, file, folder + "\\*"}) {
      WIN32_FIND_DATAA data;
      HANDLE search = FindFirstFileA(pattern.c_str(), &data);
      ASSERT_NE(search, INVALID_HANDLE_VALUE) << length << ": " << pattern << ": " << GetLastError();
      std::vector<std::string> names{data.cFileName};
      while (FindNextFileA(search, &data)) names.emplace_back(data.cFileName);
      FindClose(search);
      std::sort(names.begin(), names.end());
      const std::vector<std::string> listing{".", "..", prefix + "\x95\x5c"};
      EXPECT_EQ(names, pattern == folder + "\\*" ? listing : std::vector<std::string>{prefix + "\x95\x5c"})
          << length << ": " << pattern;
    }
    EXPECT_TRUE(DeleteFileA(file.c_str())) << length << ": " << GetLastError();
    EXPECT_TRUE(RemoveDirectoryA(folder.c_str())) << length << ": " << GetLastError();
    EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES) << length;
  }
  // A name shorter than eight bytes, relative to the current directory.
  ASSERT_TRUE(SetCurrentDirectoryA(dir().c_str()));
  EXPECT_TRUE(CreateDirectoryA("\x95\x5c", nullptr)) << GetLastError();
  EXPECT_NE(GetFileAttributesA(path("\x95\x5c").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(RemoveDirectoryA("\x95\x5c")) << GetLastError();
  // Nor does such a byte end a name before a device name.
  HANDLE h = conformance::open_file("\x95\x5cnul", GENERIC_WRITE, 0, CREATE_NEW);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  CloseHandle(h);
  EXPECT_EQ(GetFileAttributesA(path("\x95\x5cnul").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_TRUE(DeleteFileA("\x95\x5cnul")) << GetLastError();
  WinapiSetCodePage(0);
}
#endif

TEST_F(FullPath, SetCurrentDirectoryErrors) {
  make_file("file");
  const std::string before = current();
  SetLastError(sentinel);
  EXPECT_FALSE(SetCurrentDirectoryA(path("none").c_str()));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
  SetLastError(sentinel);
  EXPECT_FALSE(SetCurrentDirectoryA(path("none\\deeper").c_str()));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
  SetLastError(sentinel);
  EXPECT_FALSE(SetCurrentDirectoryA(path("file").c_str()));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_DIRECTORY});
  EXPECT_EQ(current(), before);
}

TEST(DriveVariables, NamesBeginningWithEqualsAreKept) {
  SetLastError(sentinel);
  ASSERT_TRUE(SetEnvironmentVariableA("=Q:", "Q:\\somewhere")) << GetLastError();
  char value[64] = "";
  EXPECT_EQ(GetEnvironmentVariableA("=Q:", value, sizeof value), 12u);
  EXPECT_STREQ(value, "Q:\\somewhere");
  // The drive's own directory is where a relative name on it starts.
  EXPECT_EQ(full("Q:file"), "Q:\\somewhere\\file");
  EXPECT_TRUE(SetEnvironmentVariableA("=Q:", nullptr));
  EXPECT_EQ(GetEnvironmentVariableA("=Q:", value, sizeof value), 0u);
  EXPECT_EQ(full("Q:file"), "Q:\\file");
  SetLastError(sentinel);
  EXPECT_FALSE(SetEnvironmentVariableA("A=B", "x")) << "'=' only leads a name";
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

}  // namespace
