// MoveFileExA: plain renames with the errors Windows gives, and deletion at the
// next start, which the layer hands to systemd-tmpfiles.
#include "conformance.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace conformance;

namespace {

// A name of the test's directory as the host spells it.
[[maybe_unused]] std::string host(std::string name) {
#ifndef _WIN32
  for (char& c : name)
    if (c == '\\') c = '/';
#endif
  return name;
}

class MoveFileTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    // Requests of the layer go to a directory of the test, never to /etc/tmpfiles.d.
    ASSERT_TRUE(CreateDirectoryA(path("tmpfiles.d").c_str(), nullptr));
    ASSERT_TRUE(SetEnvironmentVariableA("WINAPI_TMPFILES_DIR", host(path("tmpfiles.d")).c_str()));
  }
  void TearDown() override {
    SetEnvironmentVariableA("WINAPI_TMPFILES_DIR", nullptr);
    TempDirTest::TearDown();
  }
  BOOL move(const std::string& from, const std::string& to, DWORD flags) {
    return MoveFileExA(path(from).c_str(), path(to).c_str(), flags);
  }
  BOOL delete_at_next_start(const std::string& name) {
    return MoveFileExA(path(name).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING);
  }
};

TEST_F(MoveFileTest, RenameMovesTheFile) {
  make_file("a", "one");
  SetLastError(sentinel);
  EXPECT_TRUE(move("a", "b", 0));
  EXPECT_EQ(GetLastError(), sentinel);
  EXPECT_FALSE(exists("a"));
  EXPECT_EQ(contents("b"), "one");

  ASSERT_TRUE(CreateDirectoryA(path("d").c_str(), nullptr));
  make_file("d\\f");
  EXPECT_TRUE(move("d", "e", 0)) << "directories move too: error " << GetLastError();
  EXPECT_TRUE(exists("e\\f"));
}

struct Failure {
  const char* what;
  const char* from;
  const char* to;
  DWORD flags;
  DWORD error;
};

// In a directory holding the files "a" and "b" and the directory "d".
const Failure failures[] = {
    {"onto an existing file without MOVEFILE_REPLACE_EXISTING", "a", "b", 0, ERROR_ALREADY_EXISTS},
    {"onto a directory with MOVEFILE_REPLACE_EXISTING", "a", "d", MOVEFILE_REPLACE_EXISTING, ERROR_ACCESS_DENIED},
    {"from a missing file", "missing", "c", MOVEFILE_REPLACE_EXISTING, ERROR_FILE_NOT_FOUND},
    {"from under a missing directory", "no\\x", "c", 0, ERROR_PATH_NOT_FOUND},
    {"into a missing directory", "a", "no\\c", 0, ERROR_PATH_NOT_FOUND},
};

TEST_F(MoveFileTest, FailuresAndTheirErrors) {
  make_file("a", "one");
  make_file("b", "two");
  ASSERT_TRUE(CreateDirectoryA(path("d").c_str(), nullptr));
  for (const auto& c : failures) {
    SCOPED_TRACE(c.what);
    SetLastError(sentinel);
    EXPECT_FALSE(move(c.from, c.to, c.flags));
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(contents("a"), "one");
  EXPECT_EQ(contents("b"), "two");
}

TEST_F(MoveFileTest, ReplaceExistingOverwritesAFile) {
  make_file("a", "one");
  make_file("b", "two");
  EXPECT_TRUE(move("a", "b", MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(exists("a"));
  EXPECT_EQ(contents("b"), "one");
}

TEST_F(MoveFileTest, OpenFileWithoutDeleteSharingDoesNotMove) {
  make_file("a");
  HANDLE open = open_file(path("a"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  SetLastError(sentinel);
  EXPECT_FALSE(move("a", "b", 0));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  CloseHandle(open);
  EXPECT_TRUE(exists("a"));
}

TEST_F(MoveFileTest, DeletionAtNextStartIsRecordedWithoutTouchingTheFile) {
  make_file("a", "one");
  SetLastError(sentinel);
  EXPECT_TRUE(delete_at_next_start("a")) << "error " << GetLastError();
  EXPECT_EQ(GetLastError(), sentinel);
  EXPECT_EQ(contents("a"), "one");
  // Windows records the request without looking for the file.
  EXPECT_TRUE(delete_at_next_start("missing")) << "error " << GetLastError();
}

#ifndef _WIN32
namespace fs = std::filesystem;

std::vector<fs::path> drop_ins(const std::string& directory) {
  std::vector<fs::path> found;
  for (auto& entry : fs::directory_iterator(directory)) found.push_back(entry.path());
  return found;
}

std::string read_all(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(MoveFileTest, OneDropInPerRequest) {
  const std::string directory = host(path("tmpfiles.d"));
  make_file("a");
  ASSERT_TRUE(delete_at_next_start("a"));
  auto first = drop_ins(directory);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_TRUE(first[0].filename().string().starts_with("winapi-delete-")) << first[0];
  EXPECT_EQ(first[0].extension(), ".conf");
  const std::string text = read_all(first[0]);
  EXPECT_NE(text.find("\nr! " + host(path("a")) + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nr! " + first[0].string() + "\n"), std::string::npos) << "the drop-in goes too:\n" << text;

  ASSERT_TRUE(delete_at_next_start("a"));
  ASSERT_TRUE(MoveFileExA((dir() + "\\.\\x\\..\\a").c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ(drop_ins(directory).size(), 1u) << "the same request again adds nothing";
  EXPECT_EQ(read_all(first[0]), text);

  ASSERT_TRUE(delete_at_next_start("b"));
  EXPECT_EQ(drop_ins(directory).size(), 2u);
}

TEST_F(MoveFileTest, WithoutWriteAccessToTheDirectoryAccessIsDenied) {
  const std::string directory = host(path("locked"));
  ASSERT_EQ(::mkdir(directory.c_str(), 0755), 0);
  ASSERT_TRUE(SetEnvironmentVariableA("WINAPI_TMPFILES_DIR", directory.c_str()));
  make_file("a");
  if (::geteuid() != 0) {
    ::chmod(directory.c_str(), 0555);
    SetLastError(sentinel);
    EXPECT_FALSE(delete_at_next_start("a"));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  } else {
    // Root writes everywhere: the request is made by an unprivileged child.
    ::chmod(host(dir()).c_str(), 0755);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
      SetLastError(sentinel);
      BOOL done = delete_at_next_start("a");
      ::_exit(done ? 101 : static_cast<int>(GetLastError() & 0x7f));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 100) << "could not give up root";
    EXPECT_EQ(WEXITSTATUS(status), int{ERROR_ACCESS_DENIED}) << "101 means the request was recorded";
  }
  EXPECT_TRUE(drop_ins(directory).empty());
  EXPECT_TRUE(exists("a"));
}

TEST_F(MoveFileTest, SystemdTmpfilesRemovesTheFilesAtBootOnly) {
  const char* tool = "/usr/bin/systemd-tmpfiles";
  if (::access(tool, X_OK) != 0) GTEST_SKIP() << tool << " is not installed";
  const std::string directory = host(path("tmpfiles.d"));
  const std::vector<std::string> names = {"plain", "with space 100%d.txt", "star*", "quote'\"", "[ab]?",
                                          "{near,b}"};
  std::vector<std::string> files;
  for (const auto& name : names) {
    std::string file = host(dir()) + "/" + name;
    std::ofstream(file) << "x";
    files.push_back(file);
    ASSERT_TRUE(MoveFileExA(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) << name;
  }
  // Neighbours the globs "star*", "[ab]?" and "{near,b}" would take, were the names not escaped.
  for (const char* neighbour : {"starlet", "ax", "near"}) std::ofstream(host(dir()) + "/" + neighbour) << "x";
  auto requests = drop_ins(directory);
  ASSERT_EQ(requests.size(), names.size());

  auto run = [&](const char* options, const fs::path& drop_in) {
    std::string command = std::string(tool) + " " + options + " '" + drop_in.string() + "' 2>&1";
    return std::system(command.c_str());
  };
  for (auto& drop_in : requests) EXPECT_EQ(run("--remove", drop_in), 0);
  for (auto& file : files) EXPECT_TRUE(fs::exists(file)) << file << " went without --boot";

  for (auto& drop_in : requests) EXPECT_EQ(run("--remove --boot", drop_in), 0);
  for (auto& file : files) EXPECT_FALSE(fs::exists(file)) << file;
  EXPECT_TRUE(drop_ins(directory).empty()) << "each request removes itself";
  for (const char* neighbour : {"starlet", "ax", "near"}) EXPECT_TRUE(fs::exists(host(dir()) + "/" + neighbour));
}

TEST_F(MoveFileTest, AcrossFileSystemsIsNotSameDevice) {
  struct stat shm, tmp;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(host(dir()).c_str(), &tmp) != 0 || shm.st_dev == tmp.st_dev ||
      ::access("/dev/shm", W_OK) != 0)
    GTEST_SKIP() << "no writable /dev/shm on a file system of its own";
  make_file("a", "one");
  const std::string target = "/dev/shm/winapi-move-test-" + std::to_string(::getpid());
  for (DWORD flags : {DWORD{0}, DWORD{MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING}}) {
    SetLastError(sentinel);
    EXPECT_FALSE(MoveFileExA(path("a").c_str(), target.c_str(), flags));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_SAME_DEVICE}) << "flags " << flags;
  }
  EXPECT_EQ(contents("a"), "one");
  EXPECT_FALSE(fs::exists(target));
}
#endif

}  // namespace
