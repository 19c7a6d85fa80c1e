// The current directory: the host's, shown on its Windows drive. As on Windows
// the process keeps it as a name, the one it was set to (or found at the start):
// nothing but SetCurrentDirectoryA changes it, so a mapped drive or a path
// through a link reads back as it was set. Names below it are resolved from the
// process's current directory itself, not along that name.
#include "fs_common.h"

#include "error_mapping.h"
#include "held_directories.h"
#include "paths.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace winapi {
namespace {

std::mutex directory_mutex;
std::string windows_current;  // guarded by directory_mutex
std::string host_current;

// Under directory_mutex.
void read_at_start() {
  if (!host_current.empty()) return;
  char buffer[PATH_MAX];
  host_current = ::getcwd(buffer, sizeof buffer) ? buffer : "/";
  windows_current = windows_form(host_current);
}

std::string without_trailing_separator(std::string path) {
  // Roots keep theirs: "X:\" and "\\server\share\".
  size_t root = path.starts_with("\\\\") ? path.find('\\', path.find('\\', 2) + 1) + 1 : 3;
  while (path.size() > root && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace

std::string current_directory() {
  std::lock_guard guard(directory_mutex);
  read_at_start();
  return windows_current;
}

std::string host_current_directory() {
  std::lock_guard guard(directory_mutex);
  read_at_start();
  return host_current;
}

std::string current_root() {
  std::string current = current_directory();
  if (current.starts_with("\\\\")) return current;
  return current.substr(0, 2) + "\\";
}

}  // namespace winapi

using namespace winapi;

namespace {

template <typename Char>
DWORD copy_out(const std::basic_string<Char>& text, DWORD size, Char* buffer) {
  DWORD length = static_cast<DWORD>(text.size());
  if (!buffer || size <= length) return length + 1;
  std::memcpy(buffer, text.c_str(), (length + 1) * sizeof(Char));
  return length;
}

}  // namespace

extern "C" {

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
  return copy_out(current_directory(), nBufferLength, lpBuffer);
}

DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer) {
  if (wide_calls_missing()) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  return copy_out(widen(current_directory()), nBufferLength, lpBuffer);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
  if (!lpPathName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string name = lpPathName;
  // A bare "X:" goes back to where that drive was left.
  if (name.size() == 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]))) {
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    std::string current = current_directory();
    if (current.size() >= 2 && current[1] == ':' && current[0] == letter) return TRUE;
    name += '.';
  }
  DWORD error = 0;
  auto full = full_path_name(name, &error);
  if (!full) {
    SetLastError(error);
    return FALSE;
  }
  int host_error = 0;
  auto host = host_path(full->c_str(), &host_error);
  if (!host) return fail(host_error, Call::generic, FALSE);
  while (host->size() > 1 && host->back() == '/') host->pop_back();
  struct stat st;
  if (::stat(host->c_str(), &st) != 0) return fail_lookup(errno, Call::generic, FALSE, *host);
  if (!S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return FALSE;
  }
  if (::chdir(host->c_str()) != 0) return fail_lookup(errno, Call::generic, FALSE, *host);
  std::lock_guard guard(directory_mutex);
  windows_current = without_trailing_separator(*full);
  host_current = *host;
  return TRUE;
}

}  // extern "C"
