// Directory streams: the entries in search order, the path forms opendir takes,
// its length limit, reading failures, and dirstat agreeing with lstat.
#include <gtest/gtest.h>

#include "drive_on_directory.h"
#include "scratch_tree.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <zav/dirent.h>
#include <zav/errno.h>
#include <zav/stat.h>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using namespace zav;

class Entries : public ztest::ScratchTree {
 public:
  Entries() : ScratchTree("dirent") {}
};

// What the directory search itself returns, in its order.
std::vector<std::string> search_listing(const std::string& directory) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA((directory + "\\*.*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return names;
  do names.push_back(data.cFileName);
  while (FindNextFileA(h, &data));
  FindClose(h);
  return names;
}

std::vector<std::string> read_all(DIR* dir) {
  std::vector<std::string> names;
  errno_ = -99;
  while (struct dirent* entry = readdir(dir)) names.push_back(entry->d_name);
  return names;
}

// A name for the same directory padded with "/." to exactly `length` characters.
std::string padded(const std::string& directory, std::size_t length) {
  std::string path = directory;
  if ((length - path.size()) % 2 != 0) path += '/';
  while (path.size() < length) path += "/.";
  return path;
}

TEST(DirectoryStream, ReadsEveryEntryInSearchOrderThenEndsWithErrnoZero) {
  Entries e;
  e.file("alpha.txt", "12345");
  e.file("README.TXT");
  e.dir("Sub");
  const std::vector<std::string> expected = search_listing(e.root());
  ASSERT_EQ(expected.size(), 5u);
  EXPECT_EQ(expected[0], ".");
  EXPECT_EQ(expected[1], "..");

  DIR* dir = opendir(e.root().c_str());
  ASSERT_NE(dir, nullptr) << "errno " << errno_;
  EXPECT_EQ(dir->search, INVALID_HANDLE_VALUE) << "no search before the first read";
  // These volumes preserve case, so names come back as stored.
  EXPECT_EQ(read_all(dir), expected);
  EXPECT_EQ(errno_, 0);
  EXPECT_EQ(dir->position, 5);
  errno_ = -99;
  EXPECT_EQ(readdir(dir), nullptr);
  EXPECT_EQ(errno_, 0) << "the end stays the end";
  EXPECT_EQ(closedir(dir), 0);
}

TEST(DirectoryStream, PathFormsGiveTheSearchPrefix) {
  Entries e;
  const std::string sub = e.dir("sub");
  e.file("sub/only");
  struct Case {
    std::string path;
    std::string prefix;
  };
  const Case cases[] = {
      {e.root() + "\\sub", e.root() + "/sub\\"},
      {e.root() + "/sub", e.root() + "/sub\\"},
      {e.root() + "/sub/", e.root() + "/sub/"},
      {e.root() + "\\sub\\", e.root() + "/sub/"},
  };
  for (const Case& c : cases) {
    DIR* dir = opendir(c.path.c_str());
    ASSERT_NE(dir, nullptr) << c.path << ": errno " << errno_;
    EXPECT_EQ(std::string(dir->path), c.prefix) << c.path;
    EXPECT_EQ(dir->prefix_length, static_cast<int>(c.prefix.size())) << c.path;
    EXPECT_EQ(read_all(dir), (std::vector<std::string>{".", "..", "only"})) << c.path;
    EXPECT_EQ(std::string(dir->path), c.prefix) << c.path << ": the pattern is cut off again";
    closedir(dir);
  }
}

TEST(DirectoryStream, BareDriveSearchesItsCurrentDirectory) {
  Entries e;
  e.file("one");
  ztest::DriveOnDirectory drive(e.root());
  DIR* dir = opendir(drive.drive().c_str());
  ASSERT_NE(dir, nullptr) << drive.drive() << ": errno " << errno_;
  EXPECT_EQ(std::string(dir->path), drive.drive()) << "no separator after a bare drive";
  const std::vector<std::string> names = read_all(dir);
  EXPECT_EQ(errno_, 0);
  EXPECT_NE(std::find(names.begin(), names.end(), "one"), names.end());
  struct stat64_ st;
  ASSERT_EQ(dir_lstat64(dir, &st), 0) << "errno " << errno_;
  closedir(dir);

  DIR* rooted = opendir((drive.drive() + "/").c_str());
  ASSERT_NE(rooted, nullptr) << "errno " << errno_;
  EXPECT_EQ(std::string(rooted->path), drive.drive() + "/");
  closedir(rooted);
}

TEST(DirectoryStream, OpenFailures) {
  Entries e;
  const std::string file = e.file("plain");
  struct Case {
    std::string path;
    int error;
  };
  const Case cases[] = {
      {file, ENOTDIR_},
      {e.root() + "/missing", ENOENT_},
      {e.root() + "/missing/below", ENOTDIR_},  // ERROR_PATH_NOT_FOUND is 3 too
  };
  for (const Case& c : cases) {
    errno_ = 0;
    EXPECT_EQ(opendir(c.path.c_str()), nullptr) << c.path;
    EXPECT_EQ(errno_, c.error) << c.path;
  }
}

TEST(DirectoryStream, PathsUpTo256CharactersAreAccepted) {
  Entries e;
  const std::string at_limit = padded(e.root(), 256);
  ASSERT_EQ(at_limit.size(), 256u);
  DIR* dir = opendir(at_limit.c_str());
  ASSERT_NE(dir, nullptr) << "errno " << errno_;
  EXPECT_EQ(dir->prefix_length, 257);
  closedir(dir);

  for (const std::string& over : {at_limit + "/", at_limit + "\\"}) {
    errno_ = 0;
    EXPECT_EQ(opendir(over.c_str()), nullptr) << over.size();
    EXPECT_EQ(errno_, ENAMETOOLONG_);
  }
}

TEST(DirectoryStream, FirstSearchFailureIsAReadingFailure) {
  Entries e;
  const std::string gone = e.dir("gone");
  DIR* dir = opendir(gone.c_str());
  ASSERT_NE(dir, nullptr) << "errno " << errno_;
  ASSERT_TRUE(RemoveDirectoryA(gone.c_str()));
  e.forget_last();
  errno_ = 0;
  EXPECT_EQ(readdir(dir), nullptr);
  EXPECT_NE(errno_, 0) << "a vanished directory is not an empty one";
  EXPECT_EQ(dir->search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(closedir(dir), 0);
}

void expect_same_status(const struct stat64_& a, const struct stat64_& b, const std::string& what) {
  EXPECT_EQ(a.st_mode, b.st_mode) << what << std::hex << ": 0x" << a.st_mode << " against 0x" << b.st_mode;
  EXPECT_EQ(a.st_size, b.st_size) << what;
  EXPECT_EQ(a.st_size64, b.st_size64) << what;
  EXPECT_EQ(a.st_mtime_, b.st_mtime_) << what;
  EXPECT_EQ(a.st_ctime_, b.st_ctime_) << what;
  EXPECT_EQ(a.st_dev, b.st_dev) << what;
  EXPECT_EQ(a.st_ino, b.st_ino) << what;
  EXPECT_EQ(a.st_nlink, b.st_nlink) << what;
}

TEST(DirectoryStream, DirstatAgreesWithLstatForEveryKindOfEntry) {
  Entries e;
  e.file("plain", "hello");
  e.file("ro", "x", FILE_ATTRIBUTE_READONLY);
  e.file("hidden", "", FILE_ATTRIBUTE_HIDDEN);
  e.dir("sub");
  e.dir("ro-dir", FILE_ATTRIBUTE_READONLY);
  DIR* dir = opendir(e.root().c_str());
  ASSERT_NE(dir, nullptr) << "errno " << errno_;
  int compared = 0;
  bool saw_read_only = false;
  while (struct dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = e.root() + "/" + name;
    struct stat64_ from_search {}, by_path {};
    ASSERT_EQ(dir_lstat64(dir, &from_search), 0) << name << ": errno " << errno_;
    ASSERT_EQ(lstat64(path.c_str(), &by_path), 0) << name << ": errno " << errno_;
    expect_same_status(from_search, by_path, name + " (mode 3)");
    if ((from_search.st_mode & 0222) == 0) saw_read_only = true;

    struct zav::stat plain_search {}, plain_path {};
    ASSERT_EQ(dir_stat(dir, &plain_search), 0) << name;
    ASSERT_EQ(zav::stat(path.c_str(), &plain_path), 0) << name;
    EXPECT_EQ(plain_search.st_mode, plain_path.st_mode) << name << " (mode 0)";
    EXPECT_EQ(plain_search.st_size, plain_path.st_size) << name << " (mode 0)";
    ++compared;
  }
  EXPECT_EQ(errno_, 0);
  EXPECT_EQ(compared, 5);
  EXPECT_TRUE(saw_read_only) << "the read-only file lost its write bits nowhere";
  closedir(dir);
}

TEST(DirectoryStream, DirstatRefusesEntryPathsOver258Characters) {
  Entries e;
  e.file("12345678");
  e.file("123456789");
  const std::string directory = padded(e.root(), 249);  // prefix 250 with its separator
  DIR* dir = opendir(directory.c_str());
  ASSERT_NE(dir, nullptr) << "errno " << errno_;
  ASSERT_EQ(dir->prefix_length, 250);
  int seen = 0;
  while (struct dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat64_ st {};
    errno_ = 0;
    if (name.size() == 8) {
      EXPECT_EQ(dir_lstat64(dir, &st), 0) << "258 characters: errno " << errno_;
      EXPECT_EQ(st.st_mode & S_IFMT_, S_IFREG_);
    } else {
      EXPECT_EQ(dir_lstat64(dir, &st), -1) << "259 characters";
      EXPECT_EQ(errno_, ENAMETOOLONG_);
    }
    EXPECT_EQ(std::string(dir->path), directory + "\\") << "the prefix is restored";
    ++seen;
  }
  EXPECT_EQ(seen, 2);
  closedir(dir);
}

#ifndef _WIN32
// Links met late in a stream, under plain and non-ASCII names and directories,
// are followed to their targets as the first entry's would be.
TEST(DirectoryStream, EveryLinkOfAStreamIsFollowedWhereverItComes) {
  Entries e;
  const std::string target_dir = e.dir("target-dir");
  const std::string target_file = e.file("target-file", "twelve bytes");
  for (const char* directory : {"plain", "s\xC3\xBC" "b"}) {
    e.dir(directory);
    for (const char* name : {"/a", "/b", "/c"}) e.file(std::string(directory) + name);
    e.link(std::string(directory) + "/to-dir", target_dir);
    e.link(std::string(directory) + "/l\xC3\xAFnk", target_file);
  }
  for (const char* directory : {"plain", "s\xC3\xBC" "b"}) {
    const std::string root = e.root() + "/" + directory;
    DIR* dir = opendir(root.c_str());
    ASSERT_NE(dir, nullptr) << directory;
    int links = 0;
    while (struct dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = root + "/" + name;
      struct stat64_ followed {}, own {}, followed_by_path {}, own_by_path {};
      ASSERT_EQ(dir_stat64(dir, &followed), 0) << path << ": errno " << errno_;
      ASSERT_EQ(dir_lstat64(dir, &own), 0) << path << ": errno " << errno_;
      ASSERT_EQ(stat64_(path.c_str(), &followed_by_path), 0) << path;
      ASSERT_EQ(lstat64(path.c_str(), &own_by_path), 0) << path;
      expect_same_status(followed, followed_by_path, path + " followed");
      expect_same_status(own, own_by_path, path);
      if ((own.st_mode & S_IFMT_) == S_IFLNK_) ++links;
    }
    closedir(dir);
    EXPECT_EQ(links, 2) << directory;
  }
}

// Wine 8 shows no reparse points, so links are a host-only case.
TEST(DirectoryStream, LinkIsALinkWithoutFollowingAndItsTargetWith) {
  Entries e;
  const std::string target = e.dir("target");
  e.file("target/inside", "abc");
  const std::string link = e.root() + "/link";
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  DIR* dir = opendir(e.root().c_str());
  ASSERT_NE(dir, nullptr);
  bool found = false;
  while (struct dirent* entry = readdir(dir)) {
    if (std::string(entry->d_name) != "link") continue;
    found = true;
    struct stat64_ own {}, followed {}, by_path {};
    ASSERT_EQ(dir_lstat64(dir, &own), 0) << "errno " << errno_;
    EXPECT_EQ(own.st_mode & S_IFMT_, S_IFLNK_);
    ASSERT_EQ(dir_stat64(dir, &followed), 0) << "errno " << errno_;
    EXPECT_EQ(followed.st_mode & S_IFMT_, S_IFDIR_);
    ASSERT_EQ(stat64_(link.c_str(), &by_path), 0);
    expect_same_status(followed, by_path, "followed link");
  }
  closedir(dir);
  EXPECT_TRUE(found);
  ::unlink(link.c_str());
}
#endif

}  // namespace
