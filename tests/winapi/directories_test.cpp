// CreateDirectoryA, RemoveDirectoryA and DeleteFileA, with the errors Windows gives.
#include "conformance.h"

using namespace conformance;

namespace {

class DirectoryTest : public TempDirTest {
 public:
  BOOL create_directory(const std::string& name) { return CreateDirectoryA(path(name).c_str(), nullptr); }
  BOOL remove_directory(const std::string& name) { return RemoveDirectoryA(path(name).c_str()); }
  BOOL delete_file(const std::string& name) { return DeleteFileA(path(name).c_str()); }
};

struct Failure {
  const char* what;
  BOOL (DirectoryTest::*call)(const std::string&);
  const char* name;
  DWORD error;
};

// In a directory holding the file "f" and the directory "d" with the file "d\g".
const Failure failures[] = {
    {"CreateDirectoryA on an existing directory", &DirectoryTest::create_directory, "d", ERROR_ALREADY_EXISTS},
    {"CreateDirectoryA on an existing file", &DirectoryTest::create_directory, "f", ERROR_ALREADY_EXISTS},
    {"CreateDirectoryA under a missing directory", &DirectoryTest::create_directory, "no\\x", ERROR_PATH_NOT_FOUND},
    {"CreateDirectoryA under a file", &DirectoryTest::create_directory, "f\\x", ERROR_PATH_NOT_FOUND},
    {"RemoveDirectoryA on a non-empty directory", &DirectoryTest::remove_directory, "d", ERROR_DIR_NOT_EMPTY},
    {"RemoveDirectoryA on a file", &DirectoryTest::remove_directory, "f", ERROR_DIRECTORY},
    {"RemoveDirectoryA on a missing entry", &DirectoryTest::remove_directory, "no", ERROR_FILE_NOT_FOUND},
    {"RemoveDirectoryA under a missing directory", &DirectoryTest::remove_directory, "no\\x", ERROR_PATH_NOT_FOUND},
    {"DeleteFileA on a directory", &DirectoryTest::delete_file, "d", ERROR_ACCESS_DENIED},
    {"DeleteFileA on a missing file", &DirectoryTest::delete_file, "no", ERROR_FILE_NOT_FOUND},
    {"DeleteFileA under a missing directory", &DirectoryTest::delete_file, "no\\x", ERROR_PATH_NOT_FOUND},
    {"DeleteFileA with a trailing separator", &DirectoryTest::delete_file, "f\\", ERROR_INVALID_NAME},
};

TEST_F(DirectoryTest, FailuresAndTheirErrors) {
  make_file("f");
  ASSERT_TRUE(create_directory("d"));
  make_file("d\\g");
  for (const auto& c : failures) {
    SCOPED_TRACE(c.what);
    SetLastError(sentinel);
    EXPECT_FALSE((this->*c.call)(c.name));
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_TRUE(exists("f"));
  EXPECT_TRUE(exists("d\\g"));
}

TEST_F(DirectoryTest, CreateAndRemove) {
  SetLastError(sentinel);
  EXPECT_TRUE(create_directory("a"));
  EXPECT_EQ(GetLastError(), sentinel);
  EXPECT_TRUE(create_directory("a\\b"));
  EXPECT_TRUE(remove_directory("a\\b"));
  EXPECT_TRUE(RemoveDirectoryA((path("a") + "\\").c_str())) << "trailing separator: error " << GetLastError();
  EXPECT_FALSE(exists("a"));
}

TEST_F(DirectoryTest, DeleteFileRemovesTheName) {
  make_file("f", "x");
  SetLastError(sentinel);
  EXPECT_TRUE(delete_file("f"));
  EXPECT_EQ(GetLastError(), sentinel);
  EXPECT_FALSE(exists("f"));
}

TEST_F(DirectoryTest, DeleteFileOfAnOpenFileNeedsShareDelete) {
  make_file("f");
  HANDLE open = open_file(path("f"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  SetLastError(sentinel);
  EXPECT_FALSE(delete_file("f"));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  CloseHandle(open);

  open = open_file(path("f"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(delete_file("f")) << "error " << GetLastError();
  CloseHandle(open);
  EXPECT_FALSE(exists("f"));
}

// How a walk holds the directory it works in: opened as itself, never as what a
// link leads to, and without delete sharing, so that it keeps its name and no
// other directory can take it until the handle is closed.
TEST_F(DirectoryTest, ADirectoryHeldWithoutDeleteSharingKeepsItsName) {
  ASSERT_TRUE(create_directory("d"));
  make_file("d\\g");
  HANDLE held = CreateFileA(path("d").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE) << GetLastError();
  BY_HANDLE_FILE_INFORMATION info;
  ASSERT_TRUE(GetFileInformationByHandle(held, &info));
  EXPECT_EQ(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
            DWORD{FILE_ATTRIBUTE_DIRECTORY});
  SetLastError(sentinel);
  EXPECT_FALSE(MoveFileExA(path("d").c_str(), path("e").c_str(), 0));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_TRUE(delete_file("d\\g")) << "what is inside may go: error " << GetLastError();
  SetLastError(sentinel);
  EXPECT_FALSE(remove_directory("d"));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  ASSERT_TRUE(CloseHandle(held));
  EXPECT_TRUE(MoveFileExA(path("d").c_str(), path("e").c_str(), 0)) << GetLastError();
  EXPECT_TRUE(remove_directory("e")) << GetLastError();
}

}  // namespace
