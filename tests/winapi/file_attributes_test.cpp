// GetFileAttributesA: files, directories, read-only, and the errors for missing names.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class FileAttributes : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / "zav-ms-attributes";
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sub");
    std::ofstream(dir_ / "file") << "x";
  }
  void TearDown() override {
    fs::permissions(dir_ / "file", fs::perms::owner_write, fs::perm_options::add);
    fs::remove_all(dir_);
  }
  std::string p(const char* name) { return (dir_ / name).string(); }
  fs::path dir_;
};

TEST_F(FileAttributes, DirectoryAndPlainFile) {
  SetLastError(0xdeadbeef);
  DWORD a = GetFileAttributesA(p("sub").c_str());
  EXPECT_NE(a, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(a & FILE_ATTRIBUTE_DIRECTORY, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY)) << std::hex << a;
  a = GetFileAttributesA(p("file").c_str());
  EXPECT_NE(a, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY), 0u) << std::hex << a;
}

TEST_F(FileAttributes, NoOwnerWriteIsReadOnly) {
  fs::permissions(dir_ / "file", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  DWORD a = GetFileAttributesA(p("file").c_str());
  EXPECT_EQ(a & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) << std::hex << a;
}

TEST_F(FileAttributes, MissingFileAndMissingDirectory) {
  SetLastError(0xdeadbeef);
  EXPECT_EQ(GetFileAttributesA(p("none").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SetLastError(0xdeadbeef);
  EXPECT_EQ(GetFileAttributesA(p("none/file").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

#ifndef _WIN32
// Only the layer derives attributes from host conventions.
TEST_F(FileAttributes, DotNameAndDosAttribIsHidden) {
  std::ofstream(dir_ / ".dot") << "x";
  DWORD a = GetFileAttributesA(p(".dot").c_str());
  EXPECT_EQ(a & FILE_ATTRIBUTE_HIDDEN, static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN)) << std::hex << a;
}
#endif

}  // namespace
