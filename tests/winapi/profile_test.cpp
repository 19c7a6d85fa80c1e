// WritePrivateProfileStringA, GetPrivateProfileSectionA and GetWindowsDirectoryA:
// the INI files behind WININIT.INI, and where the Windows directory is.
#include "conformance.h"

#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <tuple>

using namespace conformance;

namespace {

using namespace std::string_literals;

class ProfileTest : public TempDirTest {
 public:
  BOOL write(const char* section, const char* key, const char* value, const std::string& file = "test.ini") {
    return WritePrivateProfileStringA(section, key, value, path(file).c_str());
  }
  // The section as GetPrivateProfileSectionA gives it, up to its final NUL.
  std::string section(const char* name, DWORD size = 4096, DWORD* result = nullptr,
                      const std::string& file = "test.ini") {
    std::string buffer(size, '#');
    DWORD got = GetPrivateProfileSectionA(name, buffer.data(), size, path(file).c_str());
    if (result) *result = got;
    return buffer.substr(0, buffer.find("\0\0"s) + 2);
  }
  // The buffer as filled, every byte of it.
  std::string raw_section(const char* name, DWORD size, DWORD* result) {
    std::string buffer(size, '#');
    *result = GetPrivateProfileSectionA(name, buffer.data(), size, path("test.ini").c_str());
    return buffer;
  }
};

TEST_F(ProfileTest, WriteCreatesTheFileWithCrLfLines) {
  SetLastError(sentinel);
  EXPECT_TRUE(write("Rename", "NUL", "C:\\FOO.TXT"));
  EXPECT_EQ(contents("test.ini"), "[Rename]\r\nNUL=C:\\FOO.TXT\r\n");
  EXPECT_TRUE(write("Other", "key", "value"));
  EXPECT_EQ(contents("test.ini"), "[Rename]\r\nNUL=C:\\FOO.TXT\r\n[Other]\r\nkey=value\r\n");
}

TEST_F(ProfileTest, SectionAndKeyMatchWithoutRegardToCase) {
  ASSERT_TRUE(write("Rename", "NUL", "A"));
  ASSERT_TRUE(write("Other", "nul", "other"));
  EXPECT_TRUE(write("rENAME", "nul", "B"));
  EXPECT_EQ(section("RENAME"), "NUL=B\0\0"s) << "one entry, spelt as first written, with the new value";
  EXPECT_TRUE(write("RENAME", "x", "C"));
  EXPECT_EQ(section("rename"), "NUL=B\0x=C\0\0"s);
  EXPECT_EQ(section("other"), "nul=other\0\0"s);
}

TEST_F(ProfileTest, SectionCountsWithoutTheFinalNul) {
  ASSERT_TRUE(write("Rename", "NUL", "C:\\BAR.TXT"));
  ASSERT_TRUE(write("Rename", "x", "y"));
  DWORD result = 0;
  EXPECT_EQ(section("Rename", 64, &result), "NUL=C:\\BAR.TXT\0x=y\0\0"s);
  EXPECT_EQ(result, 19u);
}

TEST_F(ProfileTest, TooSmallBufferGivesSizeMinusTwo) {
  ASSERT_TRUE(write("Rename", "NUL", "C:\\BAR.TXT"));
  ASSERT_TRUE(write("Rename", "x", "y"));
  const std::string whole = "NUL=C:\\BAR.TXT\0x=y\0"s;  // 19 characters and the final NUL
  // A list that would fill the buffer to the last byte counts as too long too.
  for (DWORD size : {2u, 3u, 10u, 15u, 16u, 17u, 18u, 19u, 20u}) {
    SCOPED_TRACE("buffer of " + std::to_string(size));
    DWORD result = 0;
    std::string got = raw_section("Rename", size, &result);
    EXPECT_EQ(result, size - 2);
    EXPECT_EQ(got, whole.substr(0, size - 2) + "\0\0"s) << "cut short and still a double-NUL list";
  }
  DWORD result = 0;
  EXPECT_EQ(section("Rename", 21, &result), whole + "\0"s) << "big enough";
  EXPECT_EQ(result, 19u);
}

TEST_F(ProfileTest, MissingSectionsAndFiles) {
  ASSERT_TRUE(write("Rename", "NUL", "A"));
  DWORD result = 1;
  EXPECT_EQ(section("none", 16, &result).substr(0, 1), "\0"s);
  EXPECT_EQ(result, 0u);

  char buffer[16] = "#";
  SetLastError(sentinel);
  EXPECT_EQ(GetPrivateProfileSectionA("Rename", buffer, sizeof buffer, path("missing.ini").c_str()), 0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});

  SetLastError(sentinel);
  EXPECT_FALSE(write("Rename", "NUL", "A", "no\\such\\dir.ini"));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
}

TEST_F(ProfileTest, ExistingFileKeepsCommentsAndOtherSections) {
  make_file("pre.ini", "; comment\n[Rename]\nNUL=A\n; inner comment\n  spaced = v  \nnoequals\n\n[Next]\nk=v\n");
  EXPECT_EQ(section("Rename", 256, nullptr, "pre.ini"), "NUL=A\0spaced=v\0noequals\0\0"s)
      << "comments and blank lines left out, blanks around = dropped";
  EXPECT_TRUE(write("Rename", "NUL", "B", "pre.ini"));
  EXPECT_TRUE(write("Rename", "new", "C", "pre.ini"));
  EXPECT_EQ(section("Rename", 256, nullptr, "pre.ini"), "NUL=B\0spaced=v\0noequals\0new=C\0\0"s);
  EXPECT_EQ(section("next", 256, nullptr, "pre.ini"), "k=v\0\0"s);
  std::string text = contents("pre.ini");
  EXPECT_NE(text.find("; comment"), std::string::npos) << text;
  EXPECT_NE(text.find("; inner comment"), std::string::npos) << text;
}

TEST_F(ProfileTest, DeletingKeysAndSections) {
  ASSERT_TRUE(write("Rename", "NUL", "A"));
  ASSERT_TRUE(write("Rename", "x", "B"));
  ASSERT_TRUE(write("Other", "k", "v"));
  EXPECT_TRUE(write("Rename", "nul", nullptr));
  EXPECT_EQ(section("Rename"), "x=B\0\0"s);
  EXPECT_TRUE(write("rename", nullptr, nullptr));
  EXPECT_EQ(contents("test.ini"), "[Other]\r\nk=v\r\n");
}

TEST_F(ProfileTest, ReadOnlyFileIsNotWritten) {
  if (wine_running_as_root()) GTEST_SKIP() << "Wine as root writes read-only files";
  ASSERT_TRUE(write("Rename", "NUL", "A"));
  ASSERT_TRUE(SetFileAttributesA(path("test.ini").c_str(), FILE_ATTRIBUTE_READONLY));
  SetLastError(sentinel);
  EXPECT_FALSE(write("Rename", "NUL", "B"));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  SetFileAttributesA(path("test.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(section("Rename"), "NUL=A\0\0"s);
}

#ifndef _WIN32
// Windows writes a line break as it is, which begins a line the caller never
// wrote (a WININIT.INI entry smuggled in a file name); the layer refuses it.
TEST_F(ProfileTest, LineBreaksAreRefusedAndNothingIsWritten) {
  ASSERT_TRUE(write("Rename", "NUL", "A"));
  for (auto [section, key, value] : {std::tuple{"Rename\r\n[Other", "NUL", "B"}, {"Rename", "NUL\nx", "B"},
                                     {"Rename", "NUL", "B\r\nNUL=C:\\WINDOWS"}, {"Rename", "NUL", "B\r"}}) {
    SetLastError(sentinel);
    EXPECT_FALSE(write(section, key, value)) << key << " " << value;
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  }
  EXPECT_EQ(contents("test.ini"), "[Rename]\r\nNUL=A\r\n");
}
#endif

TEST(WindowsDirectory, LengthAndTooSmallBuffer) {
  char name[MAX_PATH] = "";
  SetLastError(sentinel);
  UINT length = GetWindowsDirectoryA(name, sizeof name);
  ASSERT_GT(length, 2u);
  EXPECT_EQ(length, std::strlen(name));
  EXPECT_EQ(name[1], ':') << name;
  EXPECT_NE(name[length - 1], '\\') << name;
  EXPECT_EQ(GetLastError(), sentinel);

  char small[3] = "##";
  EXPECT_EQ(GetWindowsDirectoryA(small, sizeof small), length + 1);
  EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), length + 1);
  EXPECT_EQ(GetWindowsDirectoryA(name, length), length + 1) << "no room for the NUL";
  EXPECT_EQ(GetWindowsDirectoryA(name, length + 1), length);
  DWORD attributes = GetFileAttributesA(name);
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << name;
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

#ifndef _WIN32
// The layer's own settings: WINAPI_WINDIR, and its default under HOME.
class LayerWindowsDirectory : public ProfileTest {
 protected:
  void SetUp() override {
    ProfileTest::SetUp();
    for (const char* name : {"WINAPI_WINDIR", "HOME"})
      if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
  }
  void TearDown() override {
    unsetenv("WINAPI_WINDIR");
    for (auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
    ProfileTest::TearDown();
  }
  std::string host(std::string name) const {
    for (char& c : name)
      if (c == '\\') c = '/';
    return name;
  }

 private:
  std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(LayerWindowsDirectory, SettingIsReadAtEachCall) {
  char name[MAX_PATH];
  setenv("WINAPI_WINDIR", "C:\\WINDOWS\\", 1);
  EXPECT_EQ(GetWindowsDirectoryA(name, sizeof name), 10u);
  EXPECT_STREQ(name, "C:\\WINDOWS");
  setenv("WINAPI_WINDIR", "D:\\", 1);
  EXPECT_EQ(GetWindowsDirectoryA(name, sizeof name), 3u);
  EXPECT_STREQ(name, "D:\\") << "a root keeps its separator";
}

TEST_F(LayerWindowsDirectory, DefaultIsMadeUnderHome) {
  unsetenv("WINAPI_WINDIR");
  setenv("HOME", host(dir()).c_str(), 1);
  char name[MAX_PATH];
  UINT length = GetWindowsDirectoryA(name, sizeof name);
  std::string expected = "Z:" + dir() + "\\.local\\share\\winapi\\windows";
  for (char& c : expected)
    if (c == '/') c = '\\';
  EXPECT_EQ(std::string(name, length), expected);
  EXPECT_TRUE(std::filesystem::is_directory(host(dir()) + "/.local/share/winapi/windows"));
}

TEST_F(LayerWindowsDirectory, BareFileNameIsInTheWindowsDirectory) {
  setenv("WINAPI_WINDIR", ("Z:" + dir()).c_str(), 1);
  EXPECT_TRUE(WritePrivateProfileStringA("Rename", "NUL", "Z:\\X", "WININIT.INI"));
  EXPECT_EQ(contents("WININIT.INI"), "[Rename]\r\nNUL=Z:\\X\r\n");
  char buffer[64];
  EXPECT_EQ(GetPrivateProfileSectionA("Rename", buffer, sizeof buffer, "WININIT.INI"), 9u);
}
#endif

}  // namespace
