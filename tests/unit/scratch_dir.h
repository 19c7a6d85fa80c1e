// A private directory per test, made and read with the Windows API directly so
// that checks do not lean on the runtime code they test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ztest {

class ScratchDir {
 public:
  ScratchDir() {
    static int serial = 0;
    // "/tmp" is drive Z:'s /tmp under Wine and on the host layer alike.
    path_ = "/tmp/zav-unit-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchDir() {
    for (const std::string& name : files_) DeleteFileA(name.c_str());
    RemoveDirectoryA(path_.c_str());
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // A name in the directory; the file is removed with the directory.
  std::string file(const std::string& name) {
    files_.push_back(path_ + "/" + name);
    return files_.back();
  }

  std::string write(const std::string& name, const std::string& bytes) {
    std::string full = file(name);
    HANDLE h = CreateFileA(full.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD done = 0;
    if (h != INVALID_HANDLE_VALUE) {
      WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
      CloseHandle(h);
    }
    return full;
  }

  static std::string contents(const std::string& full) {
    HANDLE h = CreateFileA(full.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<cannot open " + full + ">";
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(h);
    return bytes;
  }

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

}  // namespace ztest
