// Links as reparse points: attributes, FSCTL_GET_REPARSE_POINT layouts, and
// removal of the link without touching its target. Host only: Wine 8 shows no
// reparse points.
#include "conformance.h"

#ifndef _WIN32
#include <winioctl.h>

#include <cstring>
#include <unistd.h>

namespace {

using conformance::sentinel;

uint16_t u16(const unsigned char* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

uint32_t u32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

std::u16string name_at(const unsigned char* buffer, size_t path_buffer, size_t offset_at) {
  std::u16string name(u16(buffer + offset_at + 2) / 2, u'\0');
  std::memcpy(name.data(), buffer + path_buffer + u16(buffer + offset_at), name.size() * 2);
  return name;
}

std::u16string wide(const std::string& s) { return {s.begin(), s.end()}; }

class Reparse : public conformance::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    host_ = dir();
    for (char& c : host_)
      if (c == '\\') c = '/';
    ASSERT_TRUE(CreateDirectoryA(path("target").c_str(), nullptr));
    make_file("target-file", "abc");
    ASSERT_EQ(::symlink((host_ + "/target").c_str(), (host_ + "/dir-link").c_str()), 0);
    ASSERT_EQ(::symlink("target-file", (host_ + "/file-link").c_str()), 0);
  }
  HANDLE open_link(const std::string& name) {
    return conformance::open_file(path(name), 0, FILE_SHARE_READ, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
  }
  std::string host_;
};

TEST_F(Reparse, LinksShowAsReparsePointsWithoutBeingFollowed) {
  EXPECT_EQ(GetFileAttributesA(path("dir-link").c_str()),
            DWORD{FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY});
  EXPECT_EQ(GetFileAttributesA(path("file-link").c_str()), DWORD{FILE_ATTRIBUTE_REPARSE_POINT});
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(path("*-link").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  int seen = 0;
  do {
    bool to_directory = std::strcmp(data.cFileName, "dir-link") == 0;
    EXPECT_EQ(data.dwFileAttributes, to_directory ? DWORD{FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY}
                                                  : DWORD{FILE_ATTRIBUTE_REPARSE_POINT})
        << data.cFileName;
    EXPECT_EQ(data.dwReserved0, to_directory ? DWORD{IO_REPARSE_TAG_MOUNT_POINT} : DWORD{IO_REPARSE_TAG_SYMLINK});
    EXPECT_EQ(data.nFileSizeLow, 0u) << "the link, not its target";
    ++seen;
  } while (FindNextFileA(search, &data));
  FindClose(search);
  EXPECT_EQ(seen, 2);
}

TEST_F(Reparse, MountPointLayout) {
  HANDLE h = open_link("dir-link\\");
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  alignas(8) unsigned char buffer[MAXIMUM_REPARSE_DATA_BUFFER_SIZE];
  DWORD returned = 0;
  ASSERT_TRUE(DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer, sizeof buffer, &returned, nullptr))
      << GetLastError();
  EXPECT_EQ(u32(buffer), DWORD{IO_REPARSE_TAG_MOUNT_POINT});
  EXPECT_EQ(returned, 8u + u16(buffer + 4));
  EXPECT_EQ(name_at(buffer, 16, 12), wide(host_ + "/target")) << "print name: the target as the link holds it";
  std::string windows_target = "\\??\\Z:" + host_ + "\\target";
  for (char& c : windows_target)
    if (c == '/') c = '\\';
  EXPECT_EQ(name_at(buffer, 16, 8), wide(windows_target));

  // Too small for the header: nothing; for the names: what fits, with ERROR_MORE_DATA.
  SetLastError(sentinel);
  EXPECT_FALSE(DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer, 4, &returned, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  SetLastError(sentinel);
  EXPECT_FALSE(DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer, 24, &returned, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_MORE_DATA});
  EXPECT_EQ(returned, 24u);
  CloseHandle(h);
}

TEST_F(Reparse, SymbolicLinkLayoutHasFlagsBeforeItsNames) {
  HANDLE h = open_link("file-link");
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  alignas(8) unsigned char buffer[1024];
  DWORD returned = 0;
  ASSERT_TRUE(DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer, sizeof buffer, &returned, nullptr));
  EXPECT_EQ(u32(buffer), DWORD{IO_REPARSE_TAG_SYMLINK});
  EXPECT_EQ(returned, 8u + u16(buffer + 4));
  EXPECT_EQ(u32(buffer + 16), DWORD{SYMLINK_FLAG_RELATIVE});
  EXPECT_EQ(name_at(buffer, 20, 12), u"target-file");
  BY_HANDLE_FILE_INFORMATION info;
  ASSERT_TRUE(GetFileInformationByHandle(h, &info));
  EXPECT_EQ(info.dwFileAttributes, DWORD{FILE_ATTRIBUTE_REPARSE_POINT});
  CloseHandle(h);
}

TEST_F(Reparse, PlainEntriesAreNoReparsePoints) {
  HANDLE h = open_link("target");
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  unsigned char buffer[1024];
  DWORD returned = 0;
  SetLastError(sentinel);
  EXPECT_FALSE(DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer, sizeof buffer, &returned, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_A_REPARSE_POINT});
  CloseHandle(h);

  // A junction is a directory: without backup semantics it does not open.
  SetLastError(sentinel);
  EXPECT_EQ(conformance::open_file(path("dir-link"), 0, 0, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
}

TEST_F(Reparse, RemovingLinksLeavesTargets) {
  SetLastError(sentinel);
  EXPECT_FALSE(DeleteFileA(path("dir-link").c_str()));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_TRUE(RemoveDirectoryA(path("dir-link").c_str())) << GetLastError();
  EXPECT_EQ(GetFileAttributesA(path("dir-link").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(path("target").c_str()) & FILE_ATTRIBUTE_DIRECTORY, DWORD{FILE_ATTRIBUTE_DIRECTORY});

  EXPECT_TRUE(DeleteFileA(path("file-link").c_str()));
  EXPECT_EQ(contents("target-file"), "abc");
}

}  // namespace
#endif
