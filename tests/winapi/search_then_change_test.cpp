// A removal lists a directory and then changes the entries it listed. Whatever
// happens to an entry between the listing and the change, the change acts on
// what the name means at that moment.
#include "conformance.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace {

using conformance::sentinel;

class SearchThenChange : public conformance::TempDirTest {
 protected:
  // Lists the directory up to `name` and leaves the search open there.
  HANDLE search_up_to(const std::string& name, const std::string& in = {}) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path(in.empty() ? "*" : in + "\\*").c_str(), &data);
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

// The runtime looks an entry up by its full name, then acts on it by the name
// it was given, relative to the current directory.
TEST_F(SearchThenChange, FoundByItsFullNameChangedByItsRelativeName) {
  make_file("x");
  char saved[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, saved), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(dir().c_str()));
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(path("x").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  FindClose(search);
  const DWORD set = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY;
  ASSERT_TRUE(SetFileAttributesA("x", set));
  EXPECT_EQ(GetFileAttributesA("x") & ~DWORD{FILE_ATTRIBUTE_ARCHIVE}, set);
  EXPECT_EQ(GetFileAttributesA(path("x").c_str()) & ~DWORD{FILE_ATTRIBUTE_ARCHIVE}, set);
  SetLastError(sentinel);
  EXPECT_FALSE(DeleteFileA("x")) << "read-only since the search";
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  ASSERT_TRUE(SetFileAttributesA("x", 0));
  EXPECT_TRUE(DeleteFileA("x"));
  SetLastError(sentinel);
  EXPECT_EQ(GetFileAttributesA("x"), INVALID_FILE_ATTRIBUTES) << "deleted";
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
  SetCurrentDirectoryA(saved);
}

// The same relative name under another current directory is another entry.
TEST_F(SearchThenChange, TheSameTailUnderAnotherDirectoryIsAnotherEntry) {
  for (const char* name : {"a", "a\\s", "b", "b\\s", "b\\s\\x"})
    ASSERT_TRUE(CreateDirectoryA(path(name).c_str(), nullptr));
  make_file("a\\s\\x");
  char saved[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, saved), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(path("a").c_str()));
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(path("b\\s\\x").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  FindClose(search);
  EXPECT_EQ(data.dwFileAttributes, DWORD{FILE_ATTRIBUTE_DIRECTORY});
  DWORD here = GetFileAttributesA("s\\x");
  EXPECT_NE(here, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(here & FILE_ATTRIBUTE_DIRECTORY, 0u) << "s\\x here is the file in a, not the directory searched in b";
  EXPECT_TRUE(DeleteFileA("s\\x"));
  EXPECT_FALSE(exists("a\\s\\x"));
  EXPECT_TRUE(exists("b\\s\\x"));
  SetCurrentDirectoryA(saved);
}

// A walk's order: list p, look up the directory d the listing handed out, close
// the listing, then list d. A descriptor another part of the program opens in
// between does not stand in for the closed listing's directory.
TEST_F(SearchThenChange, ADirectoryLookedUpAfterItsListingIsListedAfterTheListingCloses) {
  for (const char* name : {"p", "p\\d"}) ASSERT_TRUE(CreateDirectoryA(path(name).c_str(), nullptr));
  make_file("p\\d\\inner");
  HANDLE listing = search_up_to("d", "p");
  WIN32_FIND_DATAA data;
  HANDLE looked_up = FindFirstFileA(path("p\\d").c_str(), &data);
  ASSERT_NE(looked_up, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, DWORD{FILE_ATTRIBUTE_DIRECTORY});
  ASSERT_TRUE(FindClose(listing));
  ASSERT_TRUE(FindClose(looked_up));
#ifndef _WIN32
  int other = ::open("/", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(other, 0);
#endif
  std::vector<std::string> names;
  HANDLE search = FindFirstFileA(path("p\\d\\*").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE) << GetLastError();
  do names.push_back(data.cFileName);
  while (FindNextFileA(search, &data));
  FindClose(search);
#ifndef _WIN32
  ::close(other);
#endif
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "inner"}));
}

// Once the directory listed has been moved away, its name leads to what is there now.
TEST_F(SearchThenChange, ADirectoryMovedAwayAfterItsListingIsNotListedByItsOldName) {
  for (const char* name : {"p", "p\\d"}) ASSERT_TRUE(CreateDirectoryA(path(name).c_str(), nullptr));
  make_file("p\\d\\old");
  HANDLE listing = search_up_to("d", "p");
  ASSERT_TRUE(FindClose(listing));
  ASSERT_TRUE(MoveFileExA(path("p").c_str(), path("q").c_str(), 0));
  for (const char* name : {"p", "p\\d"}) ASSERT_TRUE(CreateDirectoryA(path(name).c_str(), nullptr));
  make_file("p\\d\\new");
  WIN32_FIND_DATAA data;
  HANDLE looked_up = FindFirstFileA(path("p\\d").c_str(), &data);
  ASSERT_NE(looked_up, INVALID_HANDLE_VALUE);
  FindClose(looked_up);
  HANDLE search = FindFirstFileA(path("p\\d\\*").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  bool saw_new = false, saw_old = false;
  do {
    saw_new |= std::strcmp(data.cFileName, "new") == 0;
    saw_old |= std::strcmp(data.cFileName, "old") == 0;
  } while (FindNextFileA(search, &data));
  FindClose(search);
  EXPECT_TRUE(saw_new);
  EXPECT_FALSE(saw_old);
}

// A directory this program looked at, removed and made again is listed as the
// one it is now.
TEST_F(SearchThenChange, ADirectoryRemovedAndMadeAgainIsListed) {
  for (const char* name : {"p", "p\\d"}) ASSERT_TRUE(CreateDirectoryA(path(name).c_str(), nullptr));
  for (bool moved : {false, true}) {
    SCOPED_TRACE(moved ? "moved away" : "removed");
    ASSERT_EQ(GetFileAttributesA(path("p\\d").c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY});
    if (moved)
      ASSERT_TRUE(MoveFileExA(path("p\\d").c_str(), path("p\\old").c_str(), 0));
    else
      ASSERT_TRUE(RemoveDirectoryA(path("p\\d").c_str()));
    ASSERT_TRUE(CreateDirectoryA(path("p\\d").c_str(), nullptr));
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path("p\\d\\*").c_str(), &data);
    EXPECT_NE(search, INVALID_HANDLE_VALUE) << GetLastError();
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
  }
}

#ifndef _WIN32
// What a listing saw of a directory's DOS attribute does not outlive a change
// another program makes before the directory is looked up by name.
TEST_F(SearchThenChange, ADirectoryMarkedHiddenAfterItsListingIsLookedUpHidden) {
  for (const char* name : {"p", "p\\d"}) ASSERT_TRUE(CreateDirectoryA(path(name).c_str(), nullptr));
  // Past the coarse clock's tick, so that what the listing sees may be remembered.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  HANDLE listing = search_up_to("d", "p");
  if (::setxattr(host(path("p\\d")).c_str(), "user.DOSATTRIB", "0x2", 3, 0) != 0)
    GTEST_SKIP() << "no user extended attributes on this file system";
  WIN32_FIND_DATAA data;
  HANDLE looked_up = FindFirstFileA(path("p\\d").c_str(), &data);
  ASSERT_NE(looked_up, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN});
  FindClose(looked_up);
  FindClose(listing);
}

// The layer holds the directories on the path of the last listing, and lets go
// of one when it is removed.
TEST_F(SearchThenChange, HeldDirectoriesAreThoseOnThePathOfTheLastListing) {
  for (const char* name : {"p", "p\\d"}) ASSERT_TRUE(CreateDirectoryA(path(name).c_str(), nullptr));
  FindClose(search_up_to("d", "p"));
  const int holding_p = conformance::open_descriptors();
  for (int round = 0; round < 20; ++round) {
    HANDLE listing = search_up_to("d", "p");
    WIN32_FIND_DATAA data;
    HANDLE looked_up = FindFirstFileA(path("p\\d").c_str(), &data);
    ASSERT_NE(looked_up, INVALID_HANDLE_VALUE);
    FindClose(listing);
    FindClose(looked_up);
    HANDLE inner = FindFirstFileA(path("p\\d\\*").c_str(), &data);
    ASSERT_NE(inner, INVALID_HANDLE_VALUE);
    FindClose(inner);
    EXPECT_EQ(conformance::open_descriptors(), holding_p + 1) << "p and p\\d";
  }
  ASSERT_TRUE(RemoveDirectoryA(path("p\\d").c_str()));
  EXPECT_EQ(conformance::open_descriptors(), holding_p);
  ASSERT_TRUE(RemoveDirectoryA(path("p").c_str()));
  EXPECT_EQ(conformance::open_descriptors(), holding_p - 1);
}

// A listing describes "." as the directory is now, though the directory was
// looked at a moment before, to be opened.
TEST_F(SearchThenChange, DotShowsAnAttributeSetSinceTheDirectoryWasLookedAt) {
  ASSERT_TRUE(CreateDirectoryA(path("t").c_str(), nullptr));
  // Past the coarse clock's tick, so that what is seen of t may be remembered.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  auto dot_attributes = [this](const char* directory) {
    WIN32_FIND_DATAA data;
    EXPECT_NE(GetFileAttributesA(path(directory).c_str()), INVALID_FILE_ATTRIBUTES);
    HANDLE search = FindFirstFileA(path(std::string(directory) + "\\*").c_str(), &data);
    EXPECT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, ".");
    FindClose(search);
    return data.dwFileAttributes;
  };
  EXPECT_EQ(dot_attributes("t"), DWORD{FILE_ATTRIBUTE_DIRECTORY});

  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(path("t").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  FindClose(search);
  if (::setxattr(host(path("t")).c_str(), "user.DOSATTRIB", "0x2", 3, 0) != 0)
    GTEST_SKIP() << "no user extended attributes on this file system";
  EXPECT_EQ(dot_attributes("t"), DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN}) << "set by another program";

  ASSERT_TRUE(SetFileAttributesA(path("t").c_str(), 0));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  search = FindFirstFileA(path("t").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  FindClose(search);
  ASSERT_TRUE(SetFileAttributesA(path("t").c_str(), FILE_ATTRIBUTE_SYSTEM));
  EXPECT_EQ(dot_attributes("t"), DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM}) << "set through the layer";
}

// Another program moves the listed directory away and puts a link to an outside
// directory in its place: the names the walk makes below it still reach the
// directory that was listed, and the outside one is left alone.
TEST_F(SearchThenChange, NamesBelowAListedDirectoryReachItAfterItsNameIsSwapped) {
  for (const char* name : {"p", "p\\d", "outside", "outside\\d"})
    ASSERT_TRUE(CreateDirectoryA(path(name).c_str(), nullptr));
  for (const char* name : {"p\\f", "p\\ro", "outside\\f", "outside\\ro"}) make_file(name, name);
  ASSERT_EQ(::chmod(host(path("p\\ro")).c_str(), 04555), 0);
  ASSERT_EQ(::chmod(host(path("outside\\ro")).c_str(), 0700), 0);
  FindClose(search_up_to("f", "p"));
  ASSERT_EQ(::rename(host(path("p")).c_str(), host(path("moved")).c_str()), 0);
  ASSERT_EQ(::symlink(host(path("outside")).c_str(), host(path("p")).c_str()), 0);

  EXPECT_TRUE(SetFileAttributesA(path("p\\ro").c_str(), 0));
  EXPECT_TRUE(DeleteFileA(path("p\\ro").c_str()));
  EXPECT_TRUE(DeleteFileA(path("p\\f").c_str()));
  EXPECT_TRUE(RemoveDirectoryA(path("p\\d").c_str()));
  for (const char* gone : {"moved\\f", "moved\\ro", "moved\\d"}) EXPECT_FALSE(exists(gone)) << gone;
  for (const char* kept : {"outside\\f", "outside\\ro", "outside\\d"}) EXPECT_TRUE(exists(kept)) << kept;
  struct stat st;
  ASSERT_EQ(::stat(host(path("outside\\ro")).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
}

// A walk looks at a directory, then lists it: a link put in its place meanwhile
// is not listed, nor another directory moved there.
TEST_F(SearchThenChange, ADirectoryReplacedAfterItsLookIsNotListed) {
  for (const char* name : {"p", "p\\d", "p\\e", "outside"}) ASSERT_TRUE(CreateDirectoryA(path(name).c_str(), nullptr));
  make_file("outside\\secret");
  FindClose(search_up_to("d", "p"));
  struct Case {
    const char* name;
    bool link;
    DWORD error;
  };
  for (const Case& c : {Case{"p\\d", true, ERROR_PATH_NOT_FOUND}, Case{"p\\e", false, ERROR_FILE_INVALID}}) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(GetFileAttributesA(path(c.name).c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY});
    ASSERT_EQ(::rename(host(path(c.name)).c_str(), host(path(c.name) + ".old").c_str()), 0);
    if (c.link)
      ASSERT_EQ(::symlink(host(path("outside")).c_str(), host(path(c.name)).c_str()), 0);
    else
      ASSERT_EQ(::rename(host(path("outside")).c_str(), host(path(c.name)).c_str()), 0);
    WIN32_FIND_DATAA data;
    SetLastError(sentinel);
    EXPECT_EQ(FindFirstFileA(path(std::string(c.name) + "\\*").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

// A host name may hold backslashes, which a Windows name cannot: the runtime
// gets each as U+F05C, and gives it back so, and no such name reaches outside.
TEST_F(SearchThenChange, HostNamesWithBackslashesAreNamesNotPaths) {
  ASSERT_TRUE(CreateDirectoryA(path("t").c_str(), nullptr));
  make_file("victim");
  for (const char* name : {"..\\victim", "a\\b"}) {
    int fd = ::open((host(path("t")) + "/" + name).c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0) << name;
    ::close(fd);
  }
  std::vector<std::string> listed;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(path("t\\*").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  do listed.push_back(data.cFileName);
  while (FindNextFileA(search, &data));
  FindClose(search);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{".", "..", "..\xEF\x81\x9Cvictim", "a\xEF\x81\x9C" "b"}));
  for (const char* name : {"..\xEF\x81\x9Cvictim", "a\xEF\x81\x9C" "b"}) {
    EXPECT_NE(GetFileAttributesA(path(std::string("t\\") + name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    EXPECT_TRUE(DeleteFileA(path(std::string("t\\") + name).c_str())) << name;
  }
  EXPECT_TRUE(exists("victim"));
  EXPECT_TRUE(RemoveDirectoryA(path("t").c_str())) << "both names were removed";
}

// "link\.." is taken as text, as Windows takes it: the host never goes through
// the link.
TEST_F(SearchThenChange, DotDotAfterALinkIsTakenAsText) {
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
  EXPECT_FALSE(exists("u\\f"));
  EXPECT_TRUE(exists("elsewhere\\u\\f"));
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
  ASSERT_TRUE(SetFileAttributesA(path("x").c_str(), 0));
  EXPECT_EQ(GetFileAttributesA(path("x").c_str()), DWORD{FILE_ATTRIBUTE_NORMAL});
  FindClose(search);
}
#endif

}  // namespace
