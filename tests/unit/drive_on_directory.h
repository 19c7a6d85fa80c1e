// For the tests of drive-relative names (x:name).
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace ztest {

// A drive letter whose current directory is the scratch directory: under Wine the
// current drive (Z:) after changing into it; on the host layer, which keeps no
// per-drive directories, a drive mapped onto it.
class DriveOnDirectory {
 public:
  explicit DriveOnDirectory(const std::string& directory) {
#ifdef _WIN32
    GetCurrentDirectoryA(sizeof saved_, saved_);
    EXPECT_TRUE(SetCurrentDirectoryA(directory.c_str())) << "last error " << GetLastError();
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    drive_ = std::string(1, current[0]) + ":";
#else
    EXPECT_TRUE(SetEnvironmentVariableA("WINAPI_DRIVE_Q", directory.c_str()));
    // Its drive directory is its root, whatever an earlier test left there.
    EXPECT_TRUE(SetEnvironmentVariableA("=Q:", "Q:\\"));
    drive_ = "q:";
#endif
  }
  ~DriveOnDirectory() {
#ifdef _WIN32
    SetCurrentDirectoryA(saved_);
#else
    SetEnvironmentVariableA("WINAPI_DRIVE_Q", nullptr);
    SetEnvironmentVariableA("=Q:", nullptr);
#endif
  }
  const std::string& drive() const { return drive_; }

 private:
  std::string drive_;
  char saved_[MAX_PATH] = {};
};

}  // namespace ztest
