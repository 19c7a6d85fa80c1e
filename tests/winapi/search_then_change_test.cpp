// A removal lists a directory and then changes the entries it listed. Whatever
// happens to an entry between the listing and the change, the change acts on
// what the name means at that moment.
#include "conformance.h"

#include <chrono>
#include <cstring>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace {

using conformance::sentinel;

class SearchThenChange : public conformance::TempDirTest {
 protected:
  // Lists the directory up to `name` and leaves the search open there.
  HANDLE search_up_to(const std::string& name) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path("*").c_str(), &data);
    EXPECT_NE(search, INVALID_HANDLE_VALUE);
    while (search != INVALID_HANDLE_VALUE && name != data.cFileName) {
      if (!FindNextFileA(search, &data)) {
        ADD_FAILURE() << name << " not listed";
        break;
      }
    }
    return search;
  }
#ifndef _WIN32
  static std::string host(const std::string& windows_name) {
    std::string name = windows_name;
    for (char& c : name)
      if (c == '\\') c = '/';
    return name;
  }
#endif
};

TEST_F(SearchThenChange, AttributesSetSinceTheListingAreCleared) {
  make_file("x");
  HANDLE search = search_up_to("x");
  ASSERT_TRUE(SetFileAttributesA(path("x").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  SetLastError(sentinel);
  EXPECT_FALSE(DeleteFileA(path("x").c_str())) << "read-only since the listing";
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  ASSERT_TRUE(SetFileAttributesA(path("x").c_str(), 0));
  EXPECT_EQ(GetFileAttributesA(path("x").c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
  EXPECT_TRUE(DeleteFileA(path("x").c_str()));
  EXPECT_FALSE(exists("x"));
  FindClose(search);
}

TEST_F(SearchThenChange, AReadOnlyFileListedAndClearedIsDeleted) {
  make_file("x");
  ASSERT_TRUE(SetFileAttributesA(path("x").c_str(), FILE_ATTRIBUTE_READONLY));
  HANDLE search = search_up_to("x");
  SetLastError(sentinel);
  EXPECT_FALSE(DeleteFileA(path("x").c_str()));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  ASSERT_TRUE(SetFileAttributesA(path("x").c_str(), 0));
  EXPECT_TRUE(DeleteFileA(path("x").c_str()));
  EXPECT_FALSE(exists("x"));
  FindClose(search);
}

TEST_F(SearchThenChange, AClosedSearchLeavesDeletionToTheName) {
  make_file("x");
  HANDLE search = search_up_to("x");
  ASSERT_TRUE(FindClose(search));
  SetFileAttributesA(path("x").c_str(), 0);
  EXPECT_TRUE(DeleteFileA(path("x").c_str()));
  EXPECT_FALSE(exists("x"));
}

// A relative name means something else once the current directory changes.
TEST_F(SearchThenChange, ARelativeNameFollowsTheCurrentDirectory) {
  ASSERT_TRUE(CreateDirectoryA(path("t").c_str(), nullptr));
  make_file("t\\f");
  char saved[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, saved), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(dir().c_str()));
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA("t\\f*", &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetCurrentDirectoryA(path("t").c_str()));
  SetLastError(sentinel);
  EXPECT_FALSE(DeleteFileA("t\\f")) << "t\\f no longer names the listed file";
  EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
  EXPECT_TRUE(DeleteFileA("f"));
  FindClose(search);
  SetCurrentDirectoryA(saved);
  EXPECT_FALSE(exists("t\\f"));
}

#ifndef _WIN32
// Windows removes "link\.." as text; the host goes through the link first.
TEST_F(SearchThenChange, DotDotThroughALinkDeletesWhatTheHostNames) {
  for (const char* name : {"u", "elsewhere", "elsewhere\\sub", "elsewhere\\u"})
    ASSERT_TRUE(CreateDirectoryA(path(name).c_str(), nullptr));
  make_file("u\\f");
  make_file("elsewhere\\u\\f");
  ASSERT_EQ(::symlink(host(path("elsewhere\\sub")).c_str(), host(path("t")).c_str()), 0);
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(path("t\\..\\u\\*").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  while (std::strcmp(data.cFileName, "f") != 0) ASSERT_TRUE(FindNextFileA(search, &data));
  EXPECT_TRUE(DeleteFileA(path("t\\..\\u\\f").c_str()));
  EXPECT_TRUE(exists("u\\f")) << "the listed file is not what the host path names";
  EXPECT_FALSE(exists("elsewhere\\u\\f"));
  FindClose(search);
}

// Another program puts a directory where the listed file was.
TEST_F(SearchThenChange, AFileReplacedByADirectoryIsNotDeleted) {
  make_file("x");
  HANDLE search = search_up_to("x");
  ASSERT_EQ(::unlink(host(path("x")).c_str()), 0);
  ASSERT_EQ(::mkdir(host(path("x")).c_str(), 0777), 0);
  SetFileAttributesA(path("x").c_str(), 0);
  SetLastError(sentinel);
  EXPECT_FALSE(DeleteFileA(path("x").c_str()));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(GetFileAttributesA(path("x").c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY});
  FindClose(search);
}

// Read-only belongs to the file, so making it read-only through another name
// after the listing still makes the deletion fail.
TEST_F(SearchThenChange, ReadOnlyThroughAnotherNameCounts) {
  make_file("x");
  ASSERT_EQ(::link(host(path("x")).c_str(), host(path("y")).c_str()), 0);
  HANDLE search = search_up_to("x");
  ASSERT_TRUE(SetFileAttributesA(path("y").c_str(), FILE_ATTRIBUTE_READONLY));
  SetLastError(sentinel);
  EXPECT_FALSE(DeleteFileA(path("x").c_str()));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  FindClose(search);
}

// Another program marks the file hidden after the listing; a moment later
// clearing the attributes must see it.
TEST_F(SearchThenChange, AnAttributeWrittenByAnotherProgramIsCleared) {
  make_file("x");
  HANDLE search = search_up_to("x");
  const char hidden[] = "0x2";
  int written = ::setxattr(host(path("x")).c_str(), "user.DOSATTRIB", hidden, 3, 0);
  if (written != 0) GTEST_SKIP() << "no user extended attributes on this file system";
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(SetFileAttributesA(path("x").c_str(), 0));
  EXPECT_EQ(GetFileAttributesA(path("x").c_str()), DWORD{FILE_ATTRIBUTE_NORMAL});
  FindClose(search);
}
#endif

}  // namespace
