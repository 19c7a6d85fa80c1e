// GetWindowsDirectoryA: WINAPI_WINDIR when set, else a folder of the layer's own
// under the user's data directory, made when first asked for.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "error_mapping.h"

namespace winapi {
namespace {

std::string home_directory() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* entry = ::getpwuid(::getuid())) return entry->pw_dir;
  return "/";
}

void make_directories(const std::string& path) {
  for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
    ::mkdir(path.substr(0, slash).c_str(), 0755);
    if (slash == std::string::npos) break;
  }
}

std::string windows_directory() {
  const char* setting = std::getenv("WINAPI_WINDIR");
  if (setting && *setting) {
    std::string name = setting;
    for (char& c : name)
      if (c == '/') c = '\\';
    // "C:\" keeps its separator, "C:\WINDOWS\" loses it.
    while (name.size() > 3 && name.back() == '\\') name.pop_back();
    return name;
  }
  std::string host = home_directory();
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  host += "/.local/share/winapi/windows";
  make_directories(host);
  std::string name = "Z:" + host;
  for (char& c : name)
    if (c == '/') c = '\\';
  return name;
}

}  // namespace
}  // namespace winapi

extern "C" {

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  const std::string name = winapi::windows_directory();
  const UINT length = static_cast<UINT>(name.size());
  if (!lpBuffer || uSize <= length) return length + 1;
  std::memcpy(lpBuffer, name.c_str(), name.size() + 1);
  return length;
}

}  // extern "C"
