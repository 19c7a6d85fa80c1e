// The current directory: the host's, shown on its Windows drive. The Windows form
// chosen last is kept while the host directory is still the one it named, so that
// a mapped drive or a path through a link reads back as it was set.
#include "fs_common.h"

#include "error_mapping.h"
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
std::string set_windows;  // guarded by directory_mutex
std::string set_host;
// The host directory as read last, and when: a walk asks for it several times
// per directory, and within a moment nothing but SetCurrentDirectoryA, which
// reads it afresh, changes what a relative name finds.
std::string read_host;
int64_t read_ns = 0;
bool read_valid = false;

// Under directory_mutex.
const std::string& host_current() {
  int64_t now = monotonic_ns();
  if (read_valid && now - read_ns <= moment_ns) return read_host;
  char buffer[PATH_MAX];
  read_host = ::getcwd(buffer, sizeof buffer) ? buffer : "/";
  read_ns = now;
  read_valid = true;
  return read_host;
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
  const std::string& host = host_current();
  if (!set_windows.empty() && host == set_host) return set_windows;
  return windows_form(host);
}

std::string host_current_directory() {
  std::lock_guard guard(directory_mutex);
  return host_current();
}

std::string current_root() {
  {
    // Only a directory set on another drive or a network name leaves Z:.
    std::lock_guard guard(directory_mutex);
    if (set_windows.empty() || set_windows.starts_with("Z:")) return "Z:\\";
  }
  std::string current = current_directory();
  return current.starts_with("\\\\") ? current : current.substr(0, 2) + "\\";
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
  forget_recent_entry();
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
  struct stat st;
  if (::stat(host->c_str(), &st) != 0) return fail(errno, Call::generic, FALSE, *host);
  if (!S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return FALSE;
  }
  if (::chdir(host->c_str()) != 0) return fail(errno, Call::generic, FALSE, *host);
  std::lock_guard guard(directory_mutex);
  read_valid = false;
  set_windows = without_trailing_separator(*full);
  set_host = host_current();
  return TRUE;
}

}  // extern "C"
