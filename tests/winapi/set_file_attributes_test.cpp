// SetFileAttributesA round trips, and where the layer keeps the bits on the host.
#include "conformance.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/xattr.h>
#endif

namespace {

using conformance::sentinel;

class SetAttributes : public conformance::TempDirTest {};

constexpr DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                       FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_DIRECTORY;

#ifndef _WIN32
bool host_keeps_xattrs(const std::string& windows_name) {
  std::string host = windows_name;
  for (char& c : host)
    if (c == '\\') c = '/';
  return ::lsetxattr(host.c_str(), "user.zav-probe", "1", 1, 0) == 0;
}
#endif

TEST_F(SetAttributes, EachBitRoundTrips) {
  make_file("f");
  const std::string f = path("f");
#ifndef _WIN32
  if (!host_keeps_xattrs(f)) GTEST_SKIP() << "the file system here keeps no extended attributes";
#endif
  for (DWORD bits : {DWORD{FILE_ATTRIBUTE_READONLY}, DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM},
                     DWORD{FILE_ATTRIBUTE_ARCHIVE}, DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}}) {
    SetLastError(sentinel);
    EXPECT_TRUE(SetFileAttributesA(f.c_str(), bits)) << bits;
    EXPECT_KNOWN_WINE_DIFFERENCE(GetFileAttributesA(f.c_str()) & kept, bits, bits | FILE_ATTRIBUTE_ARCHIVE,
                                 "Wine shows every file without DOS attributes as archive");
  }
  EXPECT_TRUE(SetFileAttributesA(f.c_str(), 0));
  EXPECT_KNOWN_WINE_DIFFERENCE(GetFileAttributesA(f.c_str()), DWORD{FILE_ATTRIBUTE_NORMAL},
                               DWORD{FILE_ATTRIBUTE_ARCHIVE}, "Wine shows every file without DOS attributes as archive");
}

TEST_F(SetAttributes, ReadOnlyStopsWritesAndClears) {
  make_file("ro");
  const std::string f = path("ro");
  ASSERT_TRUE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_READONLY));
  if (!conformance::wine_running_as_root()) {
    SetLastError(sentinel);
    HANDLE h = conformance::open_file(f, GENERIC_WRITE, 0, OPEN_EXISTING);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  ASSERT_TRUE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesA(f.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  HANDLE h = conformance::open_file(f, GENERIC_WRITE, 0, OPEN_EXISTING);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  CloseHandle(h);
}

TEST_F(SetAttributes, DirectoriesKeepTheirDirectoryBit) {
  ASSERT_TRUE(CreateDirectoryA(path("d").c_str(), nullptr));
  EXPECT_TRUE(SetFileAttributesA(path("d").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesA(path("d").c_str()) & kept, DWORD{FILE_ATTRIBUTE_DIRECTORY});
}

TEST_F(SetAttributes, MissingNames) {
  SetLastError(sentinel);
  EXPECT_FALSE(SetFileAttributesA(path("none").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
  SetLastError(sentinel);
  EXPECT_FALSE(SetFileAttributesA(path("none\\x").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
}

#ifndef _WIN32
// Only the layer keeps attributes in host conventions.
TEST_F(SetAttributes, HostKeepsBitsInDosAttribAndPermissions) {
  make_file("h");
  make_file(".dot");
  std::string host = dir() + "/h";
  for (char& c : host)
    if (c == '\\') c = '/';
  if (!host_keeps_xattrs(path("h"))) GTEST_SKIP() << "no extended attributes here";
  ASSERT_TRUE(SetFileAttributesA(path("h").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE |
                                                         FILE_ATTRIBUTE_READONLY));
  char value[32] = "";
  ssize_t n = ::getxattr(host.c_str(), "user.DOSATTRIB", value, sizeof value - 1);
  EXPECT_EQ(std::string(value, n > 0 ? n : 0), "0x22");
  struct stat st;
  ASSERT_EQ(::stat(host.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u) << "read-only takes every write permission";

  // Samba's form written by someone else is read back.
  ASSERT_EQ(::setxattr(host.c_str(), "user.DOSATTRIB", "0x4", 3, 0), 0);
  EXPECT_EQ(GetFileAttributesA(path("h").c_str()) & kept, DWORD{FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY});

  ASSERT_TRUE(SetFileAttributesA(path("h").c_str(), 0));
  EXPECT_LT(::getxattr(host.c_str(), "user.DOSATTRIB", value, sizeof value), 0) << "0 removes the attribute";
  ASSERT_EQ(::stat(host.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);

  // A dot name stays hidden whatever is set.
  EXPECT_TRUE(SetFileAttributesA(path(".dot").c_str(), 0));
  EXPECT_EQ(GetFileAttributesA(path(".dot").c_str()) & kept, DWORD{FILE_ATTRIBUTE_HIDDEN});
}

// The layer may remember that a search found no DOS attribute; what was set
// after the search, by this process or by another program, must still go.
TEST_F(SetAttributes, ClearingAfterASearchRemovesWhatWasSetSince) {
  make_file("own");
  make_file("other");
  if (!host_keeps_xattrs(path("own"))) GTEST_SKIP() << "no extended attributes here";
  // Past the coarse clock's tick, so that the searches below may be remembered.
  ::Sleep(30);
  auto search = [this](const char* name) {
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(path(name).c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_EQ(data.dwFileAttributes & kept, 0u);
    FindClose(h);
  };
  char value[32];

  search("own");
  ASSERT_TRUE(SetFileAttributesA(path("own").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesA(path("own").c_str(), 0));
  EXPECT_EQ(GetFileAttributesA(path("own").c_str()), DWORD{FILE_ATTRIBUTE_NORMAL});

  search("other");
  // Right after a search the layer takes its word, as if the calls had run at
  // once; a change by another program is seen once that moment has passed.
  ::Sleep(5);
  std::string host = dir() + "/other";
  for (char& c : host)
    if (c == '\\') c = '/';
  ASSERT_EQ(::setxattr(host.c_str(), "user.DOSATTRIB", "0x2", 3, 0), 0);
  ASSERT_TRUE(SetFileAttributesA(path("other").c_str(), 0));
  EXPECT_LT(::getxattr(host.c_str(), "user.DOSATTRIB", value, sizeof value), 0) << "still set: " << value;
}
// Linux keeps no user.* attributes on a named pipe: it has none to
// clear, and a removal that clears attributes first goes on.
TEST_F(SetAttributes, ANamedPipeHasNoDosAttributes) {
  const std::string fifo = path("fifo");
  std::string host = fifo;
  for (char& c : host)
    if (c == '\\') c = '/';
  ASSERT_EQ(::mkfifo(host.c_str(), 0644), 0);
  SetLastError(sentinel);
  EXPECT_TRUE(SetFileAttributesA(fifo.c_str(), 0)) << GetLastError();
  EXPECT_EQ(GetFileAttributesA(fifo.c_str()), DWORD{FILE_ATTRIBUTE_NORMAL});
  EXPECT_TRUE(SetFileAttributesA(fifo.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesA(fifo.c_str()), DWORD{FILE_ATTRIBUTE_READONLY});
  EXPECT_TRUE(SetFileAttributesA(fifo.c_str(), 0));
  EXPECT_TRUE(DeleteFileA(fifo.c_str()));
}
#endif

TEST_F(SetAttributes, WideAttributesAndShortNames) {
  make_file("long name.txt");
  std::string name = path("long name.txt");
  std::u16string wide(name.begin(), name.end());
  EXPECT_EQ(GetFileAttributesW(reinterpret_cast<LPCWSTR>(wide.c_str())), GetFileAttributesA(name.c_str()));

  char buffer[MAX_PATH];
  DWORD n = GetShortPathNameA(name.c_str(), buffer, sizeof buffer);
  ASSERT_GT(n, 0u) << GetLastError();
  // A volume without 8.3 names gives the long name back.
  EXPECT_KNOWN_WINE_DIFFERENCE(std::string(buffer) == name, true, false, "Wine makes up 8.3 names on any volume");
  EXPECT_EQ(GetShortPathNameA(name.c_str(), buffer, 3), n + 1) << "too small: the size needed";
  SetLastError(sentinel);
  EXPECT_EQ(GetShortPathNameA(path("none").c_str(), buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}

}  // namespace
