// FindFirstFile/FindNextFile: order, wildcards, the find data and the errors.
#include "conformance.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#ifdef __linux__
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

using conformance::sentinel;

class Find : public conformance::TempDirTest {
 protected:
  // Every name the pattern lists, in the order given.
  std::vector<std::string> names(const std::string& pattern) {
    std::vector<std::string> found;
    WIN32_FIND_DATAA data;
    SetLastError(sentinel);
    HANDLE search = FindFirstFileA(path(pattern).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return {"error " + std::to_string(GetLastError())};
    do found.push_back(data.cFileName);
    while (FindNextFileA(search, &data));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_FILES}) << pattern;
    EXPECT_TRUE(FindClose(search));
    return found;
  }
  static std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  }
};

TEST_F(Find, DotsComeFirstThenEveryEntry) {
  make_file("b.txt", "12345");
  make_file("a");
  ASSERT_TRUE(CreateDirectoryA(path("sub").c_str(), nullptr));
  auto all = names("*");
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[0], ".");
  EXPECT_EQ(all[1], "..");
  EXPECT_EQ(sorted({all.begin() + 2, all.end()}), (std::vector<std::string>{"a", "b.txt", "sub"}));
  EXPECT_EQ(names("*.*"), all) << "*.* matches names without a dot too";
}

TEST_F(Find, WildcardsInTheLastComponent) {
  for (const char* name : {"ab.txt", "abc.txt", "ab", "x.log"}) make_file(name);
  EXPECT_EQ(sorted(names("*.txt")), (std::vector<std::string>{"ab.txt", "abc.txt"}));
  EXPECT_EQ(sorted(names("a?.txt")), (std::vector<std::string>{"ab.txt"}));
  EXPECT_EQ(sorted(names("ab.*")), (std::vector<std::string>{"ab", "ab.txt"})) << "ab.* matches ab";
  EXPECT_EQ(names("ab?"), (std::vector<std::string>{"error 2"})) << "? is one character, not none";
  EXPECT_EQ(names("x.log"), (std::vector<std::string>{"x.log"}));
  EXPECT_EQ(sorted(names("*b*")), (std::vector<std::string>{"ab", "ab.txt", "abc.txt"}));
}

#ifndef _WIN32
// The host compares names exactly, and so do its patterns.
TEST_F(Find, HostPatternsAreCaseSensitive) {
  make_file("ab.txt");
  make_file("Ab.txt");
  EXPECT_EQ(names("a?.txt"), (std::vector<std::string>{"ab.txt"}));
  EXPECT_EQ(names("AB.TXT"), (std::vector<std::string>{"error 2"}));
}
#endif

TEST_F(Find, FindDataDescribesTheEntry) {
  make_file("data", std::string(70000, 'x'));
  ASSERT_TRUE(CreateDirectoryA(path("dir").c_str(), nullptr));
  WIN32_FIND_DATAA data;
  std::memset(&data, 0x55, sizeof data);
  HANDLE search = FindFirstFileA(path("data").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE) << GetLastError();
  EXPECT_STREQ(data.cFileName, "data");
  EXPECT_STREQ(data.cAlternateFileName, "");
  EXPECT_EQ(data.nFileSizeLow, 70000u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_EQ(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY), 0u);
  // Written in the last day: 100 ns ticks since 1601, far above 2020's.
  ULONGLONG written = (ULONGLONG{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
  EXPECT_GT(written, 132223104000000000ull);
  EXPECT_TRUE(FindClose(search));

  search = FindFirstFileA(path("dir").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, DWORD{FILE_ATTRIBUTE_DIRECTORY});
  EXPECT_STREQ(data.cFileName, "dir");
  EXPECT_TRUE(FindClose(search));
}

TEST_F(Find, WideNamesAndData) {
  make_file("w.txt", "abc");
  std::string pattern = path("*.txt");
  std::u16string wide(pattern.begin(), pattern.end());
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(reinterpret_cast<LPCWSTR>(wide.c_str()), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE) << GetLastError();
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(data.cFileName)), u"w.txt");
  EXPECT_EQ(data.nFileSizeLow, 3u);
  SetLastError(sentinel);
  EXPECT_FALSE(FindNextFileW(search, &data));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_FILES});
  EXPECT_TRUE(FindClose(search));
}

TEST_F(Find, Errors) {
  make_file("file");
  EXPECT_EQ(names("none*"), (std::vector<std::string>{"error 2"})) << "nothing matches";
  EXPECT_EQ(names("none"), (std::vector<std::string>{"error 2"}));
  EXPECT_EQ(names("missing\\*"), (std::vector<std::string>{"error 3"})) << "missing directory";
  EXPECT_EQ(names("missing\\x"), (std::vector<std::string>{"error 3"}));
  // A file is no directory to list: the answer is that for a missing one.
  for (const char* below_a_file : {"file\\*", "file\\x"})
    EXPECT_KNOWN_WINE_DIFFERENCE(names(below_a_file).front(), "error 3", "error 123",
                                 "Wine answers ERROR_INVALID_NAME");

  WIN32_FIND_DATAA data;
  // A name ending in a separator names no entry; the runtime falls back to attributes.
#ifdef _WIN32
  const std::string root = "C:\\";
#else
  const std::string root = "Z:\\";
#endif
  for (const std::string& name : {dir() + "\\", root}) {
    SetLastError(sentinel);
    EXPECT_EQ(FindFirstFileA(name.c_str(), &data), INVALID_HANDLE_VALUE) << name;
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND}) << name;
  }
  SetLastError(sentinel);
  EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

#ifndef _WIN32
// A closed search stays refused, also straight after a listing used it. Wine
// frees a search's memory at FindClose, so only the host layer is asked.
TEST_F(Find, AClosedSearchIsRefused) {
  make_file("a");
  make_file("b");
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(path("*").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(FindNextFileA(search, &data));
  ASSERT_TRUE(FindClose(search));
  SetLastError(sentinel);
  EXPECT_FALSE(FindNextFileA(search, &data));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  SetLastError(sentinel);
  EXPECT_FALSE(FindClose(search));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}
#endif

// The name is made whole first: "sub\." is "sub", "sub\x\.." is "sub" too.
TEST_F(Find, DotsInTheNameResolveFirst) {
  ASSERT_TRUE(CreateDirectoryA(path("sub").c_str(), nullptr));
  for (const char* name : {"sub\\.", "sub\\x\\..", ".\\sub"}) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path(name).c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE) << name << ": " << GetLastError();
    EXPECT_STREQ(data.cFileName, "sub") << name;
    EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, DWORD{FILE_ATTRIBUTE_DIRECTORY});
    FindClose(search);
  }
}

#ifdef __linux__
// From here on every getdents64 of the process that asks for fewer than
// `fails_below` bytes fails with EIO.
bool fail_directory_reads(uint32_t fails_below = UINT32_MAX) {
  sock_filter program[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_getdents64, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
      BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, fails_below, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog filter{static_cast<unsigned short>(std::size(program)), program};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_TSYNC, &filter) == 0;
}

// The layer reads a small directory to its end at once: after a first batch
// into its whole buffer (32 KB) it reads on into the room left. When that
// further read fails, the names already read come first, then the failure.
TEST_F(Find, AFailureReadingOnIntoTheBatchComesAfterItsNames) {
  if (::prctl(PR_GET_SECCOMP, 0, 0, 0, 0) < 0) GTEST_SKIP() << "no seccomp filters here";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  constexpr int count = 10;
  for (int i = 0; i < count; ++i) make_file("f" + std::to_string(i));
  EXPECT_EXIT(
      {
        if (!fail_directory_reads(32768)) ::_exit(10);
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA(path("*").c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) ::_exit(11);
        int listed = 1;
        while (FindNextFileA(search, &data)) ++listed;
        DWORD error = GetLastError();
        if (error == ERROR_NO_MORE_FILES) ::_exit(12);
        ::_exit(error == ERROR_READ_FAULT && listed == count + 2 ? 0 : 13);
      },
      ::testing::ExitedWithCode(0), "");
}

// A directory whose reading fails after its first batch of names: the search
// reports the failure, which the caller must not take for the end.
TEST_F(Find, AReadingThatFailsPartWayIsReportedNotTakenForTheEnd) {
  if (::prctl(PR_GET_SECCOMP, 0, 0, 0, 0) < 0) GTEST_SKIP() << "no seccomp filters here";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Long names, so that the host reads the directory in more than one batch.
  constexpr int count = 200;
  for (int i = 0; i < count; ++i) make_file(std::string(200, 'n') + std::to_string(1000 + i));
  EXPECT_EXIT(
      {
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA(path("*").c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) ::_exit(10);
        if (!fail_directory_reads()) ::_exit(11);
        int listed = 1;
        while (FindNextFileA(search, &data)) ++listed;
        DWORD error = GetLastError();
        if (error == ERROR_NO_MORE_FILES) ::_exit(12);
        ::_exit(error == ERROR_READ_FAULT && listed < count + 2 ? 0 : 13);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace

// Large directories are listed in batches: every entry exactly once, each with its own attributes, while the caller
// deletes what it has been given, and with several searches open at once.
class LargeDirectory : public conformance::TempDirTest {
 protected:
  static constexpr int count = 300;
  static std::string name(int i) { return "f" + std::to_string(1000 + i); }
  void SetUp() override {
    conformance::TempDirTest::SetUp();
    for (const char* sub : {"a", "b"}) {
      ASSERT_TRUE(CreateDirectoryA(path(sub).c_str(), nullptr));
      for (int i = 0; i < count; ++i) make_file(std::string(sub) + "\\" + name(i), std::string(i % 7, 'x'));
    }
  }
};

TEST_F(LargeDirectory, EveryEntryOnceWithItsOwnData) {
  for (int i = 0; i < count; i += 3) ASSERT_TRUE(SetFileAttributesA(path("a\\" + name(i)).c_str(), FILE_ATTRIBUTE_READONLY));
  std::vector<int> seen(count, 0);
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(path("a\\f*").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  do {
    int i = std::atoi(data.cFileName + 1) - 1000;
    ASSERT_TRUE(i >= 0 && i < count) << data.cFileName;
    ++seen[i];
    EXPECT_EQ(data.nFileSizeLow, DWORD(i % 7)) << data.cFileName;
    EXPECT_EQ((data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0, i % 3 == 0) << data.cFileName;
  } while (FindNextFileA(search, &data));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_FILES});
  EXPECT_TRUE(FindClose(search));
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), count);
}

TEST_F(LargeDirectory, DeletingWhatWasListedAsItComes) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(path("a\\*").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  int deleted = 0;
  do {
    if (data.cFileName[0] == '.') continue;
    SetFileAttributesA(path(std::string("a\\") + data.cFileName).c_str(), 0);
    EXPECT_TRUE(DeleteFileA(path(std::string("a\\") + data.cFileName).c_str())) << data.cFileName;
    ++deleted;
  } while (FindNextFileA(search, &data));
  EXPECT_TRUE(FindClose(search));
  EXPECT_EQ(deleted, count);
  EXPECT_TRUE(RemoveDirectoryA(path("a").c_str())) << "nothing is left in it";
}

// "." and ".." come first, each described for itself, however early the rest
// of a large directory is read ahead; then every entry once.
TEST_F(LargeDirectory, DotsFirstEachItselfThenEveryEntry) {
  ASSERT_TRUE(SetFileAttributesA(path("a").c_str(), FILE_ATTRIBUTE_HIDDEN));
  for (int round = 0; round < 3; ++round) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path("a\\*").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, ".");
    EXPECT_EQ(data.dwFileAttributes, DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN}) << "the directory itself";
    ASSERT_TRUE(FindNextFileA(search, &data));
    EXPECT_STREQ(data.cFileName, "..");
    EXPECT_EQ(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN), DWORD{FILE_ATTRIBUTE_DIRECTORY})
        << "the folder above, which is not hidden";
    std::vector<int> seen(count, 0);
    while (FindNextFileA(search, &data)) {
      int i = std::atoi(data.cFileName + 1) - 1000;
      ASSERT_TRUE(data.cFileName[0] == 'f' && i >= 0 && i < count) << data.cFileName;
      ++seen[i];
    }
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_FILES});
    EXPECT_FALSE(FindNextFileA(search, &data)) << "the end stays the end";
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_FILES});
    EXPECT_TRUE(FindClose(search));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), count) << "round " << round;
  }
}

TEST_F(LargeDirectory, SearchesInterleavedAndClosedHalfWay) {
  WIN32_FIND_DATAA a_data, b_data;
  HANDLE a = FindFirstFileA(path("a\\f*").c_str(), &a_data);
  HANDLE b = FindFirstFileA(path("b\\f*").c_str(), &b_data);
  ASSERT_NE(a, INVALID_HANDLE_VALUE);
  ASSERT_NE(b, INVALID_HANDLE_VALUE);
  int from_a = 1, from_b = 1;
  while (FindNextFileA(a, &a_data)) {
    ++from_a;
    if (from_b < count / 2 && FindNextFileA(b, &b_data)) ++from_b;
  }
  EXPECT_EQ(from_a, count);
  EXPECT_EQ(from_b, count / 2);
  EXPECT_TRUE(FindClose(b)) << "closed while more entries were waiting";
  EXPECT_TRUE(FindClose(a));
}

// A search that follows a closed one, even one closed with entries still read
// ahead, shows its own directory's entries and nothing else.
TEST_F(LargeDirectory, OneAfterAnotherEachShowsOnlyItsOwn) {
  for (int i = 0; i < count; i += 2) ASSERT_TRUE(DeleteFileA(path("b\\" + name(i)).c_str()));
  auto list = [this](const std::string& pattern, int stop_after) {
    std::vector<int> seen(count, 0);
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path(pattern).c_str(), &data);
    EXPECT_NE(search, INVALID_HANDLE_VALUE) << pattern;
    if (search == INVALID_HANDLE_VALUE) return seen;
    int listed = 0;
    do {
      int i = std::atoi(data.cFileName + 1) - 1000;
      if (i >= 0 && i < count)
        ++seen[i];
      else
        ADD_FAILURE() << data.cFileName;
    } while (++listed < stop_after && FindNextFileA(search, &data));
    EXPECT_TRUE(FindClose(search));
    return seen;
  };
  list("a\\f*", 100);
  std::vector<int> b = list("b\\f*", count);
  for (int i = 0; i < count; ++i) EXPECT_EQ(b[i], i % 2) << name(i);
  std::vector<int> a = list("a\\f*", count);
  EXPECT_EQ(std::count(a.begin(), a.end(), 1), count);
}

#ifndef _WIN32
// Of the listings closed half-way, only the directory of the last stays held.
TEST_F(LargeDirectory, ListingsLeaveOnlyTheLastDirectoryHeld) {
  WIN32_FIND_DATAA first;
  ASSERT_TRUE(FindClose(FindFirstFileA(path("b\\*").c_str(), &first)));
  const int before = conformance::open_descriptors();
  for (int round = 0; round < 10; ++round) {
    for (const char* sub : {"a", "b"}) {
      WIN32_FIND_DATAA data;
      HANDLE search = FindFirstFileA(path(std::string(sub) + "\\*").c_str(), &data);
      ASSERT_NE(search, INVALID_HANDLE_VALUE);
      int listed = 1;
      while ((sub[0] == 'a' || listed < count / 2) && FindNextFileA(search, &data)) ++listed;
      EXPECT_TRUE(FindClose(search));
    }
  }
  EXPECT_EQ(conformance::open_descriptors(), before);
}
#endif
