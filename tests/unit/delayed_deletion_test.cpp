// Delayed deletion: MoveFileEx on Windows NT, a checked NUL= line in the [Rename]
// section of WININIT.INI on Windows 95/98, and the 2048-byte limit of that check.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include <zav/errno.h>
#include <zav/removal.h>
#include <zav/unistd.h>

#include "scratch_dir.h"

#ifndef _WIN32
#include <cstdlib>
#endif

namespace {

using namespace zav;

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A [Rename] section of `entries` lines of 40 bytes each, none of them NUL=.
std::string rename_section(int entries) {
  std::string text = "[Rename]\r\n";
  for (int i = 0; i < entries; ++i) {
    std::string line = "DEL" + std::to_string(1000 + i) + "=C:\\OLD\\FILE" + std::to_string(1000 + i) + ".TMP";
    line.resize(38, 'X');
    text += line + "\r\n";
  }
  return text;
}

bool file_holds_line(const std::string& text, const std::string& line) {
  return text.find("\n" + line + "\r\n") != std::string::npos || text.find("\n" + line + "\n") != std::string::npos;
}

TEST(WininitEntry, IsWrittenAndFoundWhateverTheCaseOfTheSection) {
  ztest::ScratchDir dir;
  // Big enough that the section is read in more than one step, small enough to fit.
  const std::string list = dir.write("WININIT.INI", rename_section(40));
  errno_ = -1;
  ASSERT_EQ(request_deletion_in_wininit("C:\\PROGRA~1\\VICTIM.TXT", list.c_str()), 0) << "errno " << errno_;
  EXPECT_EQ(errno_, 0);
  EXPECT_TRUE(file_holds_line(ztest::ScratchDir::contents(list), "NUL=C:\\PROGRA~1\\VICTIM.TXT"))
      << ztest::ScratchDir::contents(list);
}

TEST(WininitEntry, SectionLargerThan2048BytesFailsThoughTheEntryWasWritten) {
  ztest::ScratchDir dir;
  const std::string list = dir.write("WININIT.INI", rename_section(60));
  EXPECT_EQ(request_deletion_in_wininit("C:\\VICTIM.TXT", list.c_str()), -1);
  EXPECT_TRUE(file_holds_line(ztest::ScratchDir::contents(list), "NUL=C:\\VICTIM.TXT"));
}

TEST(RenameEx, OnlyTheDeletionAtTheNextStartIsOffered) {
  errno_ = 0;
  EXPECT_EQ(rename_ex("a", "b", 0), -1);
  EXPECT_EQ(errno_, ENOSYS_);
  EXPECT_EQ(rename_ex("a", nullptr, MOVEFILE_REPLACE_EXISTING), -1);
  EXPECT_EQ(errno_, ENOSYS_);
}

TEST(RenameEx, WindowsNtHandsTheRequestToTheSystemAndLeavesTheFile) {
  ztest::ScratchDir dir;
#ifndef _WIN32
  // Where the layer records requests for the next start; never the real /etc.
  ::setenv("WINAPI_TMPFILES_DIR", dir.path().c_str(), 1);
#endif
  if (GetVersion() & 0x80000000u) GTEST_SKIP() << "the system answers as Windows 95/98";
  const std::string path = dir.write("later", "x");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  const DWORD attributes = GetFileAttributesA(path.c_str());
  const int r = rename_ex(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  if (r != 0) {
    EXPECT_EQ(errno_, EACCES_) << "only a missing right may refuse the request";
  } else {
    EXPECT_EQ(errno_, 0);
  }
  EXPECT_TRUE(exists(path));
  EXPECT_EQ(GetFileAttributesA(path.c_str()), attributes);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
#ifndef _WIN32
  ::unsetenv("WINAPI_TMPFILES_DIR");
#endif
}

TEST(RenameEx, Windows95WritesTheShortNameIntoWininit) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows and Wine answer as Windows NT; the Windows 95 personality is the host layer's";
#else
  ztest::ScratchDir dir;
  const std::string path = dir.write("victim.txt", "x");
  const std::string list = dir.file("WININIT.INI");
  ::setenv("WINAPI_VERSION", "95", 1);
  ::setenv("WINAPI_WINDIR", dir.path().c_str(), 1);
  const int r = rename_ex(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  const int saved = errno_;
  ::unsetenv("WINAPI_VERSION");
  ::unsetenv("WINAPI_WINDIR");
  ASSERT_EQ(r, 0) << "errno " << saved;
  const std::string text = ztest::ScratchDir::contents(list);
  EXPECT_NE(text.find("[Rename]"), std::string::npos) << text;
  // The value is the absolute short name; victim.txt is already a valid 8.3 name.
  const std::size_t at = text.find("\nNUL=");
  ASSERT_NE(at, std::string::npos) << text;
  std::string value = text.substr(at + 5, text.find_first_of("\r\n", at + 5) - (at + 5));
  for (char& c : value) c = static_cast<char>(c | ((c >= 'A' && c <= 'Z') ? 0x20 : 0));
  EXPECT_EQ(value.substr(0, 2), "z:") << value;
  ASSERT_GT(value.size(), 11u) << value;
  EXPECT_EQ(value.substr(value.size() - 10), "victim.txt") << value;
  EXPECT_TRUE(value[value.size() - 11] == '\\' || value[value.size() - 11] == '/') << value;
  EXPECT_TRUE(exists(path));
#endif
}

}  // namespace
