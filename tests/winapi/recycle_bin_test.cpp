// SHFileOperationA and W, FO_DELETE: with FOF_ALLOWUNDO into the freedesktop.org trash
// (Wine's shell32 uses it too), without it a plain deletion.
#include "conformance.h"

#include <shellapi.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace conformance;
namespace fs = std::filesystem;

namespace {

constexpr FILEOP_FLAGS recycle_flags = 0x0454;  // what the runtime passes
constexpr FILEOP_FLAGS delete_flags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;

// The trash of this process lives in a directory of its own: Wine reads
// XDG_DATA_HOME once, at its first use of the trash, so it is set before any test.
class TrashHome : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string name = "winapi-trash-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(std::time(nullptr));
    unix_ = "/tmp/" + name;
    windows_ = "Z:\\tmp\\" + name;
    ASSERT_TRUE(CreateDirectoryA(windows_.c_str(), nullptr)) << windows_ << ": error " << GetLastError();
    ASSERT_TRUE(SetEnvironmentVariableA("XDG_DATA_HOME", unix_.c_str()));
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(native(), error);
  }
  // The trash's folder, in a form this target's std::filesystem opens.
  static fs::path native() {
#ifdef _WIN32
    return windows_;
#else
    return unix_;
#endif
  }
  static const std::string& unix_name() { return unix_; }

 private:
  static inline std::string unix_;
  static inline std::string windows_;
};

[[maybe_unused]] auto* const trash_home = ::testing::AddGlobalTestEnvironment(new TrashHome);

// Entries of the trash's files/ whose names begin with `stem`.
int in_trash(const std::string& stem, const fs::path& home = TrashHome::native()) {
  int count = 0;
  std::error_code error;
  for (auto& entry : fs::directory_iterator(home / "Trash" / "files", error))
    if (entry.path().filename().string().starts_with(stem)) ++count;
  return count;
}

// Names unique in the process, since all tests share one trash.
std::string unique(const std::string& stem, const std::string& extension = ".txt") {
  static int counter = 0;
  return stem + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + extension;
}

class RecycleBinTest : public TempDirTest {
 protected:
  // SHFileOperationA on the names, given as a double-NUL list.
  int operate(std::initializer_list<std::string> names, FILEOP_FLAGS flags, BOOL* aborted = nullptr) {
    list_.clear();
    for (auto& name : names) list_ += path(name) + '\0';
    list_ += '\0';
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = list_.c_str();
    op.fFlags = flags;
    op.fAnyOperationsAborted = TRUE;
    int result = SHFileOperationA(&op);
    if (aborted) *aborted = op.fAnyOperationsAborted;
    return result;
  }

 private:
  std::string list_;
};

TEST_F(RecycleBinTest, RecycledFileMovesIntoTheTrash) {
  const std::string name = unique("doomed");
  make_file(name, "keep me");
  BOOL aborted = TRUE;
  EXPECT_EQ(operate({name}, recycle_flags, &aborted), 0);
  EXPECT_FALSE(aborted);
  EXPECT_FALSE(exists(name));
  EXPECT_EQ(in_trash(name), 1);
  std::ifstream kept(TrashHome::native() / "Trash" / "files" / name);
  std::string text;
  std::getline(kept, text);
  EXPECT_EQ(text, "keep me");
  EXPECT_TRUE(fs::exists(TrashHome::native() / "Trash" / "info" / (name + ".trashinfo")));
}

TEST_F(RecycleBinTest, ReadOnlyFileGoesWithItsAttribute) {
  const std::string name = unique("readonly");
  make_file(name);
  ASSERT_TRUE(SetFileAttributesA(path(name).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(operate({name}, recycle_flags), 0);
  EXPECT_FALSE(exists(name));
  std::string trashed = (TrashHome::native() / "Trash" / "files" / name).string();
  DWORD attributes = GetFileAttributesA(trashed.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << trashed;
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(trashed.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(RecycleBinTest, EveryNameOfTheList) {
  const std::string first = unique("first"), second = unique("second");
  make_file(first);
  make_file(second);
  EXPECT_EQ(operate({first, second}, recycle_flags), 0);
  EXPECT_FALSE(exists(first));
  EXPECT_FALSE(exists(second));
  EXPECT_EQ(in_trash(first), 1);
  EXPECT_EQ(in_trash(second), 1);
}

TEST_F(RecycleBinTest, SameNameTwiceKeepsBoth) {
  const std::string stem = unique("twice", "");
  make_file(stem + ".txt", "1");
  ASSERT_EQ(operate({stem + ".txt"}, recycle_flags), 0);
  make_file(stem + ".txt", "2");
  EXPECT_EQ(operate({stem + ".txt"}, recycle_flags), 0);
  EXPECT_EQ(in_trash(stem), 2);
}

// The wide form takes every name the file system holds, whatever the code pages
// hold: accents, and letters of scripts that no one narrow code page has together.
TEST_F(RecycleBinTest, WideNamesOfEveryScriptMoveIntoTheTrash) {
  using wstring = std::basic_string<WCHAR>;
  auto widen = [](const std::string& ascii) { return wstring(ascii.begin(), ascii.end()); };
  const wstring names[] = {widen(unique("wide", "")) + WCHAR{0xE9} + WCHAR{'t'} + WCHAR{0xE9},
                           widen(unique("wide", "")) + WCHAR{0x6F22} + WCHAR{0x0416} + WCHAR{0x03A3}};
  wstring list;
  for (const wstring& name : names) {
    const wstring full = widen(dir()) + WCHAR{'\\'} + name;
    HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    CloseHandle(file);
    list += full;
    list += WCHAR{0};
  }
  list += WCHAR{0};
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = list.c_str();
  op.fFlags = recycle_flags;
  op.fAnyOperationsAborted = TRUE;
  EXPECT_EQ(SHFileOperationW(&op), 0);
  EXPECT_FALSE(op.fAnyOperationsAborted);
  for (const wstring& name : names) {
    EXPECT_EQ(GetFileAttributesW((widen(dir()) + WCHAR{'\\'} + name).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(fs::exists(TrashHome::native() / "Trash" / "files" / fs::path(name)));
  }
}

TEST_F(RecycleBinTest, MissingNames) {
  BOOL aborted = TRUE;
  EXPECT_EQ(operate({unique("missing")}, recycle_flags, &aborted), int{ERROR_FILE_NOT_FOUND});
  EXPECT_FALSE(aborted);
  int result = operate({"no\\" + unique("missing")}, recycle_flags);
  EXPECT_KNOWN_WINE_DIFFERENCE(result, int{ERROR_PATH_NOT_FOUND}, 0x7C, "Wine answers with the old DE_INVALIDFILES");
}

TEST_F(RecycleBinTest, WithoutAllowUndoTheFileIsDeleted) {
  const std::string name = unique("gone");
  make_file(name);
  BOOL aborted = TRUE;
  EXPECT_EQ(operate({name}, delete_flags, &aborted), 0);
  EXPECT_FALSE(aborted);
  EXPECT_FALSE(exists(name));
  EXPECT_EQ(in_trash(name), 0);
}

#ifndef _WIN32
std::string host(std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

std::string read_all(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs `body` as an unprivileged user when the tests run as root, so that
// permissions hold; returns its exit status.
template <typename Body>
int as_unprivileged(Body body) {
  if (::geteuid() != 0) return body();
  pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Host-only: what the layer writes, and the rules of the trash it follows.
class TrashLayout : public RecycleBinTest {
 protected:
  void SetUp() override {
    RecycleBinTest::SetUp();
    home_ = host(dir()) + "/data";
    setenv("XDG_DATA_HOME", home_.c_str(), 1);
  }
  void TearDown() override {
    setenv("XDG_DATA_HOME", TrashHome::unix_name().c_str(), 1);
    RecycleBinTest::TearDown();
  }
  std::string home_;
};

TEST_F(TrashLayout, InfoRecordsTheEncodedPathAndTheDate) {
  const std::string name = "a b%c \xC3\xA9.txt";
  make_file(name, "x");
  std::time_t before = std::time(nullptr);
  ASSERT_EQ(operate({name}, recycle_flags), 0);
  EXPECT_TRUE(fs::exists(home_ + "/Trash/files/" + name)) << "XDG_DATA_HOME is read at each call";
  std::string info = read_all(home_ + "/Trash/info/" + name + ".trashinfo");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(info, match, std::regex("\\[Trash Info\\]\nPath=(.*)\nDeletionDate=(.*)\n"))) << info;
  EXPECT_EQ(match[1].str(), fs::canonical(host(dir())).string() + "/a%20b%25c%20%C3%A9.txt");
  std::tm date{};
  ASSERT_TRUE(strptime(match[2].str().c_str(), "%Y-%m-%dT%H:%M:%S", &date)) << match[2];
  date.tm_isdst = -1;
  EXPECT_LE(std::abs(std::difftime(std::mktime(&date), before)), 60.0) << "local time of the deletion: " << match[2];
}

TEST_F(TrashLayout, TakenNamesAreLeftAlone) {
  fs::create_directories(home_ + "/Trash/files");
  fs::create_directories(home_ + "/Trash/info");
  std::ofstream(home_ + "/Trash/info/x.txt.trashinfo") << "stale";
  std::ofstream(home_ + "/Trash/files/x.2.txt") << "stray";
  make_file("x.txt", "new");
  ASSERT_EQ(operate({"x.txt"}, recycle_flags), 0);
  EXPECT_EQ(read_all(home_ + "/Trash/info/x.txt.trashinfo"), "stale");
  EXPECT_EQ(read_all(home_ + "/Trash/files/x.2.txt"), "stray");
  EXPECT_FALSE(fs::exists(home_ + "/Trash/info/x.2.txt.trashinfo")) << "no record left for a name not used";
  EXPECT_EQ(read_all(home_ + "/Trash/files/x.3.txt"), "new");
  EXPECT_TRUE(fs::exists(home_ + "/Trash/info/x.3.txt.trashinfo"));
}

TEST_F(TrashLayout, FileStaysWhenNoTrashCanBeMade) {
  fs::create_directories(home_);
  std::ofstream(home_ + "/Trash") << "not a directory";
  make_file("f", "x");
  EXPECT_NE(operate({"f"}, recycle_flags), 0);
  EXPECT_EQ(contents("f"), "x");
}

TEST_F(TrashLayout, FailedRenameTakesItsRecordBack) {
  // The trash belongs to the unprivileged user, the file's directory does not.
  fs::create_directories(home_);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(home_.c_str(), 65534, 65534), 0);
  }
  ASSERT_TRUE(CreateDirectoryA(path("locked").c_str(), nullptr));
  make_file("locked\\f", "x");
  ::chmod(host(dir()).c_str(), 0755);
  ::chmod(host(path("locked")).c_str(), 0555);
  int status = as_unprivileged([&] { return operate({"locked\\f"}, recycle_flags) & 0x7f; });
  ::chmod(host(path("locked")).c_str(), 0755);
  EXPECT_EQ(status, int{ERROR_ACCESS_DENIED});
  EXPECT_EQ(contents("locked\\f"), "x");
  ASSERT_TRUE(fs::is_directory(home_ + "/Trash/info")) << "the trash itself could be made";
  EXPECT_TRUE(fs::is_empty(home_ + "/Trash/info"));
  EXPECT_TRUE(fs::is_empty(home_ + "/Trash/files"));
}

// /dev/shm, a file system of its own here, stands for a mounted volume.
class VolumeTrash : public ::testing::Test {
 protected:
  void SetUp() override {
    struct stat shm, tmp;
    if (::stat("/dev/shm", &shm) != 0 || ::stat("/tmp", &tmp) != 0 || shm.st_dev == tmp.st_dev ||
        ::access("/dev/shm", W_OK) != 0)
      GTEST_SKIP() << "no writable /dev/shm on a file system of its own";
    if (fs::exists("/dev/shm/.Trash", error_)) GTEST_SKIP() << "/dev/shm/.Trash exists: not ours to change";
    own_ = "/dev/shm/.Trash-" + std::to_string(::getuid());
    own_existed_ = fs::exists(own_, error_);
    work_ = "/dev/shm/winapi-trash-test-" + std::to_string(::getpid());
    fs::create_directories(work_ + "/sub");
  }
  void TearDown() override {
    fs::remove_all(work_, error_);
    fs::remove_all("/dev/shm/.Trash", error_);
    if (!own_existed_) {
      fs::remove_all(own_, error_);
    } else {
      for (auto& made : made_) {
        fs::remove(own_ + "/files/" + made, error_);
        fs::remove(own_ + "/info/" + made + ".trashinfo", error_);
      }
    }
  }
  int recycle(const std::string& name) {
    std::ofstream(work_ + "/sub/" + name) << "x";
    made_.push_back(name);
    std::string list = "Z:" + work_ + "/sub/" + name + '\0' + '\0';
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = list.c_str();
    op.fFlags = recycle_flags;
    return SHFileOperationA(&op);
  }
  std::string work_, own_;
  bool own_existed_ = false;
  std::vector<std::string> made_;
  std::error_code error_;
};

TEST_F(VolumeTrash, FileGoesToTheVolumesOwnTrashWithARelativePath) {
  const std::string name = unique("volume");
  ASSERT_EQ(recycle(name), 0);
  EXPECT_FALSE(fs::exists(work_ + "/sub/" + name));
  EXPECT_TRUE(fs::exists(own_ + "/files/" + name));
  std::string info = read_all(own_ + "/info/" + name + ".trashinfo");
  std::string relative = work_.substr(std::string("/dev/shm/").size()) + "/sub/" + name;
  EXPECT_NE(info.find("\nPath=" + relative + "\n"), std::string::npos) << info;
  EXPECT_EQ(fs::status(own_).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(VolumeTrash, SharedTrashOnlyWhenSticky) {
  ASSERT_TRUE(fs::create_directory("/dev/shm/.Trash"));
  fs::permissions("/dev/shm/.Trash", fs::perms::all);
  const std::string plain = unique("plain");
  ASSERT_EQ(recycle(plain), 0);
  EXPECT_TRUE(fs::exists(own_ + "/files/" + plain)) << "a .Trash without the sticky bit is not used";

  fs::permissions("/dev/shm/.Trash", fs::perms::all | fs::perms::sticky_bit);
  const std::string sticky = unique("sticky");
  ASSERT_EQ(recycle(sticky), 0);
  const std::string shared = "/dev/shm/.Trash/" + std::to_string(::getuid());
  EXPECT_TRUE(fs::exists(shared + "/files/" + sticky));
  EXPECT_TRUE(fs::exists(shared + "/info/" + sticky + ".trashinfo"));
}
#endif

}  // namespace
