#include "conformance.h"

#include <atomic>
#include <cstring>
#include <system_error>

#ifndef _WIN32
#include <dirent.h>
#endif

namespace conformance {

bool running_under_wine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
  return false;
#endif
}

bool wine_running_as_root() {
  char user[64] = "";
  return running_under_wine() && GetEnvironmentVariableA("USERNAME", user, sizeof user) &&
         std::strcmp(user, "root") == 0;
}

void TempDirTest::SetUp() {
  static std::atomic<int> counter{0};
#ifdef _WIN32
  std::string base = "C:\\windows\\temp";
#else
  std::string base = "/tmp";
#endif
  // Process ids repeat under Wine, and other test runs may share the prefix.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    dir_ = base + "\\winapi-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    if (CreateDirectoryA(dir_.c_str(), nullptr)) return;
    ASSERT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS}) << dir_;
  }
  FAIL() << "no free name for a test directory in " << base;
}

void TempDirTest::TearDown() {
  namespace fs = std::filesystem;
  std::string native = dir_;
#ifndef _WIN32
  for (char& c : native)
    if (c == '\\') c = '/';
#endif
  std::error_code error;
  // Read-only entries would stop the removal on Windows.
  for (auto& entry : fs::recursive_directory_iterator(native, error))
    fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, error);
  fs::remove_all(native, error);
  EXPECT_FALSE(error) << native << ": " << error.message();
}

void TempDirTest::make_file(const std::string& name, const std::string& text) {
  HANDLE file = open_file(path(name), GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << name << ": error " << GetLastError();
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
  EXPECT_EQ(written, text.size());
  CloseHandle(file);
}

std::string TempDirTest::contents(const std::string& name) {
  HANDLE file = open_file(path(name), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << name << ": cannot open, error " << GetLastError();
    return {};
  }
  std::string text;
  char buffer[4096];
  DWORD count = 0;
  while (ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0) text.append(buffer, count);
  CloseHandle(file);
  return text;
}

bool TempDirTest::exists(const std::string& name) const {
  HANDLE file = open_file(path(name), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

HANDLE open_file(const std::string& name, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  return CreateFileA(name.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

#ifndef _WIN32
int open_descriptors() {
  int open = 0;
  if (DIR* fds = ::opendir("/proc/self/fd")) {
    while (::readdir(fds)) ++open;
    ::closedir(fds);
  }
  return open;
}
#endif

}  // namespace conformance
