// A private directory tree per test, made and removed with the Windows API
// directly, so that checks do not lean on the runtime code they test.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace ztest {

class ScratchTree {
 public:
  explicit ScratchTree(const char* kind = "tree") {
    static int serial = 0;
    root_ = std::string("/tmp/zav-") + kind + "-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++serial);
    CreateDirectoryA(root_.c_str(), nullptr);
  }
  ~ScratchTree() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
      SetFileAttributesA(it->first.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!(it->second ? RemoveDirectoryA(it->first.c_str()) : DeleteFileA(it->first.c_str())))
        DeleteFileA(it->first.c_str());
    }
    RemoveDirectoryA(root_.c_str());
  }
  ScratchTree(const ScratchTree&) = delete;
  ScratchTree& operator=(const ScratchTree&) = delete;

  std::string file(const std::string& name, const std::string& bytes = "", DWORD attributes = 0) {
    const std::string path = root_ + "/" + name;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << path << ": last error " << GetLastError();
    DWORD done = 0;
    if (!bytes.empty()) WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    CloseHandle(h);
    made_.push_back({path, false});
    if (attributes != 0) SetFileAttributesA(path.c_str(), attributes);
    return path;
  }
  std::string dir(const std::string& name, DWORD attributes = 0) {
    const std::string path = root_ + "/" + name;
    EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path << ": last error " << GetLastError();
    made_.push_back({path, true});
    if (attributes != 0) SetFileAttributesA(path.c_str(), attributes);
    return path;
  }
#ifndef _WIN32
  std::string link(const std::string& name, const std::string& target) {
    const std::string path = root_ + "/" + name;
    EXPECT_EQ(::symlink(target.c_str(), path.c_str()), 0);
    made_.push_back({path, true});  // RemoveDirectoryA removes a link to a directory itself
    return path;
  }
#endif
  // The last entry made is gone already (the test removed it).
  void forget_last() { made_.pop_back(); }
  const std::string& root() const { return root_; }

 private:
  std::string root_;
  std::vector<std::pair<std::string, bool>> made_;  // path, is a directory
};

}  // namespace ztest
