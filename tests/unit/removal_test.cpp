// Removal primitives: unlink and rmdir clear attributes first and keep them
// cleared on failure; unlink takes a directory link away as a directory; the
// recycle bin gets an absolute backslashed name list.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include <zav/errno.h>
#include <zav/removal.h>
#include <zav/unistd.h>
#include <zav/wide.h>

#include "scratch_dir.h"

#ifndef _WIN32
#include <cstdlib>
#include <unistd.h>
#endif

namespace {

using namespace zav;

constexpr int ERROR_SHARING_VIOLATION_ = 32;
constexpr int ERROR_DIR_NOT_EMPTY_ = 145;

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class Removal : public testing::Test {
 protected:
  ztest::ScratchDir dir;
  std::vector<std::string> subdirs;

  ~Removal() override {
    for (auto it = subdirs.rbegin(); it != subdirs.rend(); ++it) {
      SetFileAttributesA(it->c_str(), FILE_ATTRIBUTE_NORMAL);
      RemoveDirectoryA(it->c_str());
    }
  }

  std::string subdir(const std::string& name) {
    std::string path = dir.path() + "/" + name;
    EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << "last error " << GetLastError();
    subdirs.push_back(path);
    return path;
  }
};

TEST_F(Removal, UnlinkRemovesReadOnlyHiddenAndSystemFilesWithoutAsking) {
  for (DWORD attributes : {DWORD{FILE_ATTRIBUTE_READONLY},
                           DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}}) {
    const std::string path = dir.write("f", "x");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes));
    ASSERT_EQ(zav::unlink(path.c_str()), 0) << "attributes 0x" << std::hex << attributes << ": errno " << errno_;
    EXPECT_FALSE(exists(path));
  }
}

TEST_F(Removal, FailedUnlinkLeavesTheAttributesCleared) {
  const std::string path = dir.write("held", "x");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(),
                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << "last error " << GetLastError();
  errno_ = 0;
  EXPECT_EQ(zav::unlink(path.c_str()), -1);
  EXPECT_EQ(errno_, ERROR_SHARING_VIOLATION_);
  CloseHandle(h);
  EXPECT_TRUE(exists(path));
  EXPECT_EQ(GetFileAttributesA(path.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            0u);
}

TEST_F(Removal, UnlinkRefusesMissingFilesAndDirectories) {
  errno_ = 0;
  EXPECT_EQ(zav::unlink((dir.path() + "/missing").c_str()), -1);
  EXPECT_EQ(errno_, ENOENT_);

  const std::string d = subdir("d");
  errno_ = 0;
  EXPECT_EQ(zav::unlink(d.c_str()), -1);
  EXPECT_EQ(errno_, EACCES_);
  EXPECT_TRUE(exists(d));
}

TEST_F(Removal, RmdirOfANonEmptyDirectoryFailsWithItsAttributesCleared) {
  const std::string d = subdir("full");
  const std::string inner = dir.write("full/inner", "x");
  ASSERT_TRUE(SetFileAttributesA(d.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  errno_ = 0;
  EXPECT_EQ(zav::rmdir(d.c_str()), -1);
  EXPECT_EQ(errno_, ERROR_DIR_NOT_EMPTY_);
  EXPECT_EQ(GetFileAttributesA(d.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  DeleteFileA(inner.c_str());
}

TEST_F(Removal, RmdirRemovesAReadOnlyEmptyDirectoryAndRefusesAFile) {
  const std::string d = subdir("empty");
  ASSERT_TRUE(SetFileAttributesA(d.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_EQ(zav::rmdir(d.c_str()), 0) << "errno " << errno_;
  EXPECT_FALSE(exists(d));

  const std::string f = dir.write("not-a-dir", "x");
  errno_ = 0;
  EXPECT_EQ(zav::rmdir(f.c_str()), -1);
  EXPECT_EQ(errno_, ENOTDIR_) << "ERROR_DIRECTORY folds to ENOTDIR";
  EXPECT_TRUE(exists(f));
}

TEST_F(Removal, UnlinkOfADirectoryLinkRemovesOnlyTheLink) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine 8 shows no reparse points; links are checked on the host";
#else
  const std::string target = subdir("target");
  const std::string inner = dir.write("target/kept", "x");
  const std::string link = dir.path() + "/link";
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  ASSERT_EQ(zav::unlink(link.c_str()), 0) << "errno " << errno_;
  EXPECT_FALSE(exists(link));
  EXPECT_TRUE(exists(target));
  EXPECT_EQ(ztest::ScratchDir::contents(inner), "x");
#endif
}

// The name has a character outside ASCII, so a list that copies the bytes of the
// file code page one to a character, instead of converting them, shows.
TEST(RecycleBinNameList, RelativeNameBecomesAbsoluteAndWideWithBackslashesAndTwoNuls) {
  const WCHAR accented[] = {'d', 0xE9, 0};
  char narrow[8];
  ASSERT_GT(narrow_from_wide(narrow, accented, sizeof narrow), 0) << "errno " << errno_;
  const std::string source = std::string("sub/") + narrow + "/file.txt";
  std::string given = source;
  WCHAR list[MAX_PATH + 2];
  std::fill(std::begin(list), std::end(list), WCHAR{'#'});
  ASSERT_EQ(recycle_bin_name_list(given.data(), list, MAX_PATH + 2), 0) << "errno " << errno_;
  EXPECT_EQ(given, source) << "the caller's name is left as given";

  const WCHAR relative[] = {'s', 'u', 'b', '\\', 'd', 0xE9, '\\', 'f', 'i', 'l', 'e', '.', 't', 'x', 't', 0};
  WCHAR expected[MAX_PATH];
  const DWORD length = GetFullPathNameW(relative, MAX_PATH, expected, nullptr);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, DWORD{MAX_PATH});
  for (DWORD i = 0; i <= length + 1; ++i) {
    // Letter case may be refolded to the case stored on disk.
    const WCHAR want = i < length ? expected[i] : WCHAR{0};
    const WCHAR got = list[i];
    EXPECT_TRUE(got == want || (want < 128 && got < 128 && (got | 0x20) == (want | 0x20)))
        << "at " << i << ": " << static_cast<unsigned>(got) << " for " << static_cast<unsigned>(want);
  }
}

TEST(RecycleBinNameList, NameThatDoesNotFitIsRefused) {
  WCHAR list[8];
  errno_ = 0;
  EXPECT_EQ(recycle_bin_name_list("a/long/enough/name", list, 8), -1);
  EXPECT_EQ(errno_, ERANGE_);
}

TEST_F(Removal, RecycleBinReportsShellFailuresThroughTheLowByte) {
  errno_ = 0;
  EXPECT_EQ(unlink_to_recycle_bin((dir.path() + "/missing").c_str()), -1);
  EXPECT_GT(errno_, 0);
  EXPECT_LE(errno_, 0xFF);
}

TEST_F(Removal, RecycleBinTakesAReadOnlyFile) {
#ifdef _WIN32
  GTEST_SKIP() << "would fill the user's own recycle bin; the host layer's trash can be made private";
#else
  const std::string data_home = subdir("data-home");
  ::setenv("XDG_DATA_HOME", data_home.c_str(), 1);
  const std::string path = dir.write("recycled", "x");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(unlink_to_recycle_bin(path.c_str()), 0) << "errno " << errno_;
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_FALSE(exists(path));
  const std::string trashed = data_home + "/Trash/files/recycled";
  EXPECT_EQ(ztest::ScratchDir::contents(trashed), "x");
  // The shell is handed the file as it is; the runtime clears nothing first.
  EXPECT_TRUE(GetFileAttributesA(trashed.c_str()) & FILE_ATTRIBUTE_READONLY);
  for (const char* leftover : {"/Trash/files/recycled", "/Trash/info/recycled.trashinfo"}) {
    const std::string name = data_home + leftover;
    SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(name.c_str());
  }
  for (const char* leftover : {"/Trash/files", "/Trash/info", "/Trash"}) {
    RemoveDirectoryA((data_home + leftover).c_str());
  }
#endif
}

}  // namespace
