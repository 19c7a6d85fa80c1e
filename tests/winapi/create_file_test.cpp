// CreateFileA: creation dispositions, their errors, attributes, sharing, devices.
#include "conformance.h"

using namespace conformance;

namespace {

class CreateFileTest : public TempDirTest {
 protected:
  // Opens with the disposition and keeps the handle and last error for checks.
  void open(const std::string& name, DWORD disposition, DWORD access = GENERIC_READ | GENERIC_WRITE,
            DWORD share = 0, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    SetLastError(sentinel);
    handle = open_file(path(name), access, share, disposition, flags);
    error = GetLastError();
  }
  void TearDown() override {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    TempDirTest::TearDown();
  }
  void close() {
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }

  HANDLE handle = INVALID_HANDLE_VALUE;
  DWORD error = 0;
};

struct Disposition {
  const char* name;
  DWORD disposition;
  bool opens;          // whether the open succeeds
  DWORD error;         // last error after the call
  const char* after;   // contents afterwards
};

// On a file that exists and holds "old".
const Disposition on_existing[] = {
    {"CREATE_NEW", CREATE_NEW, false, ERROR_FILE_EXISTS, "old"},
    {"CREATE_ALWAYS", CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
    {"OPEN_EXISTING", OPEN_EXISTING, true, NO_ERROR, "old"},
    {"OPEN_ALWAYS", OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
    {"TRUNCATE_EXISTING", TRUNCATE_EXISTING, true, NO_ERROR, ""},
};

// On a name that does not exist in an existing directory.
const Disposition on_missing[] = {
    {"CREATE_NEW", CREATE_NEW, true, NO_ERROR, ""},
    {"CREATE_ALWAYS", CREATE_ALWAYS, true, NO_ERROR, ""},
    {"OPEN_EXISTING", OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
    {"OPEN_ALWAYS", OPEN_ALWAYS, true, NO_ERROR, ""},
    {"TRUNCATE_EXISTING", TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
};

TEST_F(CreateFileTest, DispositionsOnAnExistingFile) {
  for (const auto& c : on_existing) {
    SCOPED_TRACE(c.name);
    make_file("f", "old");
    open("f", c.disposition);
    EXPECT_EQ(handle != INVALID_HANDLE_VALUE, c.opens);
    EXPECT_EQ(error, c.error);
    if (handle != INVALID_HANDLE_VALUE) close();
    EXPECT_EQ(contents("f"), c.after);
  }
}

TEST_F(CreateFileTest, DispositionsOnAMissingFile) {
  for (const auto& c : on_missing) {
    SCOPED_TRACE(c.name);
    open("new", c.disposition);
    EXPECT_EQ(handle != INVALID_HANDLE_VALUE, c.opens);
    EXPECT_EQ(error, c.error);
    if (handle != INVALID_HANDLE_VALUE) close();
    EXPECT_EQ(exists("new"), c.after != nullptr);
    DeleteFileA(path("new").c_str());
  }
}

TEST_F(CreateFileTest, MissingDirectoryIsPathNotFound) {
  for (DWORD disposition : {CREATE_NEW, CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS, TRUNCATE_EXISTING}) {
    SCOPED_TRACE(disposition);
    open("nodir\\f", disposition);
    EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error, DWORD{ERROR_PATH_NOT_FOUND});
  }
}

TEST_F(CreateFileTest, FileInThePathIsPathNotFound) {
  make_file("f");
  open("f\\g", OPEN_EXISTING);
  EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(error, DWORD{ERROR_PATH_NOT_FOUND});
}

TEST_F(CreateFileTest, TrailingSeparatorAfterAFileIsAnInvalidName) {
  make_file("f");
  open("f\\", OPEN_EXISTING);
  EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(error, DWORD{ERROR_INVALID_NAME});
}

TEST_F(CreateFileTest, UnknownDispositionIsAnInvalidParameter) {
  for (DWORD disposition : {0u, 6u}) {
    open("f", disposition);
    EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error, DWORD{ERROR_INVALID_PARAMETER});
  }
}

TEST_F(CreateFileTest, SuccessfulOpenClearsTheLastError) {
  make_file("f");
  open("f", OPEN_EXISTING, GENERIC_READ);
  EXPECT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(error, DWORD{NO_ERROR});
}

TEST_F(CreateFileTest, DirectoryOpensOnlyWithBackupSemantics) {
  ASSERT_TRUE(CreateDirectoryA(path("d").c_str(), nullptr));
  open("d", OPEN_EXISTING, GENERIC_READ, FILE_SHARE_READ);
  EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(error, DWORD{ERROR_ACCESS_DENIED});

  open("d", CREATE_NEW, GENERIC_READ, FILE_SHARE_READ);
  EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(error, DWORD{ERROR_FILE_EXISTS});

  open("d", OPEN_EXISTING, GENERIC_READ, FILE_SHARE_READ, FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << "error " << error;
  SetLastError(sentinel);
  EXPECT_EQ(GetFileType(handle), DWORD{FILE_TYPE_DISK});
}

TEST_F(CreateFileTest, ReadOnlyAttributeOnCreation) {
  open("ro", CREATE_NEW, GENERIC_READ | GENERIC_WRITE, 0, FILE_ATTRIBUTE_READONLY);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << "error " << error;
  DWORD written = 0;
  // The handle that created the file still writes to it.
  EXPECT_TRUE(WriteFile(handle, "abc", 3, &written, nullptr)) << "error " << GetLastError();
  close();
  EXPECT_EQ(contents("ro"), "abc");

  open("ro", OPEN_EXISTING, GENERIC_WRITE);
  if (wine_running_as_root()) {
    EXPECT_NE(handle, INVALID_HANDLE_VALUE) << "known Wine difference (as root it opens read-only files "
                                               "for writing); Windows refuses with ERROR_ACCESS_DENIED";
  } else {
    EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error, DWORD{ERROR_ACCESS_DENIED});
  }
  if (handle != INVALID_HANDLE_VALUE) close();

  open("ro", OPEN_EXISTING, GENERIC_READ);
  EXPECT_NE(handle, INVALID_HANDLE_VALUE) << "error " << error;
  if (handle != INVALID_HANDLE_VALUE) close();

  open("ro", OPEN_EXISTING, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
       FILE_FLAG_DELETE_ON_CLOSE);
  EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(error, DWORD{ERROR_ACCESS_DENIED});

  SetLastError(sentinel);
  EXPECT_FALSE(DeleteFileA(path("ro").c_str()));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_TRUE(exists("ro"));
}

TEST_F(CreateFileTest, DeleteOnCloseGoesWithTheLastHandle) {
  open("t", CREATE_NEW, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << "error " << error;
  HANDLE second = open_file(path("t"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            OPEN_EXISTING);
  ASSERT_NE(second, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  close();
  EXPECT_TRUE(exists("t")) << "deleted while a handle was open";
  CloseHandle(second);
  EXPECT_FALSE(exists("t"));
}

TEST_F(CreateFileTest, DeleteOnCloseSurvivesADuplicateUntilItCloses) {
  open("t", CREATE_NEW, GENERIC_WRITE, 0, FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  HANDLE duplicate = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &duplicate, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  close();
  EXPECT_TRUE(exists("t"));
  CloseHandle(duplicate);
  EXPECT_FALSE(exists("t"));
}

TEST_F(CreateFileTest, DeleteOnCloseRefusesOpensWithoutShareDelete) {
  open("t", CREATE_NEW, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
       FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  SetLastError(sentinel);
  HANDLE second = open_file(path("t"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  EXPECT_EQ(second, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
}

struct Sharing {
  const char* name;
  DWORD first_access, first_share, second_access, second_share;
  bool second_opens;
};

const Sharing sharing_cases[] = {
    {"exclusive refuses a reader", GENERIC_READ, 0, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
    {"shared read admits a reader", GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
    {"shared read refuses a writer", GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
     false},
    {"reader must share with the writer", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_READ,
     FILE_SHARE_READ, false},
    {"attributes-only open ignores sharing", GENERIC_READ, 0, 0, 0, true},
    {"both share everything", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
     GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
};

TEST_F(CreateFileTest, ShareModesBetweenTwoOpens) {
  make_file("f", "x");
  for (const auto& c : sharing_cases) {
    SCOPED_TRACE(c.name);
    open("f", OPEN_EXISTING, c.first_access, c.first_share);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    SetLastError(sentinel);
    HANDLE second = open_file(path("f"), c.second_access, c.second_share, OPEN_EXISTING);
    DWORD second_error = GetLastError();
    EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.second_opens);
    EXPECT_EQ(second_error, c.second_opens ? DWORD{NO_ERROR} : DWORD{ERROR_SHARING_VIOLATION});
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    close();
  }
}

TEST_F(CreateFileTest, NulDeviceInItsSpellings) {
  for (const char* name : {"nul", "NUL", "NuL", "\\\\.\\nul", "nul:"}) {
    SCOPED_TRACE(name);
    SetLastError(sentinel);
    HANDLE nul = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(nul, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    EXPECT_EQ(GetFileType(nul), DWORD{FILE_TYPE_CHAR});
    DWORD count = 99;
    EXPECT_TRUE(WriteFile(nul, "abc", 3, &count, nullptr));
    EXPECT_EQ(count, 3u);
    char buffer[4];
    EXPECT_TRUE(ReadFile(nul, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(count, 0u);
    CloseHandle(nul);
  }
}

TEST_F(CreateFileTest, NulInADirectoryNeedsTheDirectory) {
  open("nul", OPEN_EXISTING, GENERIC_WRITE);
  EXPECT_NE(handle, INVALID_HANDLE_VALUE) << "error " << error;
  if (handle != INVALID_HANDLE_VALUE) close();
  open("nodir\\nul", OPEN_EXISTING, GENERIC_WRITE);
  EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(error, DWORD{ERROR_PATH_NOT_FOUND});
}

TEST_F(CreateFileTest, ConsoleOutputIsACharacterDeviceOrInvalidWithoutAConsole) {
  SetLastError(sentinel);
  HANDLE console = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (console == INVALID_HANDLE_VALUE) {
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  } else {
    EXPECT_EQ(GetFileType(console), DWORD{FILE_TYPE_CHAR});
    DWORD mode = 0;
    EXPECT_TRUE(GetConsoleMode(console, &mode)) << "error " << GetLastError();
    CloseHandle(console);
  }
}

}  // namespace
