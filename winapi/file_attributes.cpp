// GetFileAttributesA: read-only from the owner's write permission; hidden, system
// and archive from user.DOSATTRIB as Samba and Wine keep it; hidden also for dot names.
#include "layer_internal.h"

#include <windows.h>

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD dos_bits = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// The "0x..." text form; other forms carry nothing we read.
DWORD dos_attributes(const char* path) {
  char value[64];
  ssize_t n = lgetxattr(path, "user.DOSATTRIB", value, sizeof value - 1);
  if (n < 3) return 0;
  value[n] = '\0';
  if (value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return 0;
  return static_cast<DWORD>(std::strtoul(value + 2, nullptr, 16)) & dos_bits;
}

bool dot_name(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* name = slash != nullptr ? slash + 1 : path;
  return name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

bool parent_exists(const char* path) {
  char parent[PATH_MAX];
  std::size_t length = std::strlen(path);
  if (length >= sizeof parent) return false;
  std::memcpy(parent, path, length + 1);
  while (length > 1 && parent[length - 1] == '/') parent[--length] = '\0';
  char* slash = std::strrchr(parent, '/');
  if (slash == nullptr) return true;
  if (slash == parent) return true;
  *slash = '\0';
  struct stat st;
  return ::stat(parent, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

extern "C" DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  char path[PATH_MAX];
  if (lpFileName == nullptr || !winapi_internal::host_path(lpFileName, path, sizeof path))
    return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (::lstat(path, &st) != 0) {
    // A missing directory on the way is a path error on Windows, as a non-directory is.
    int e = errno == ENOENT && !parent_exists(path) ? ENOTDIR : errno;
    SetLastError(winapi_internal::win32_error_from_errno(e));
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = 0;
  if (S_ISLNK(st.st_mode)) {
    attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    struct stat target;
    if (::stat(path, &target) == 0 && S_ISDIR(target.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  } else if (S_ISDIR(st.st_mode)) {
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  }
  if ((st.st_mode & S_IWUSR) == 0 && !S_ISLNK(st.st_mode)) attributes |= FILE_ATTRIBUTE_READONLY;
  attributes |= dos_attributes(path);
  if (dot_name(path)) attributes |= FILE_ATTRIBUTE_HIDDEN;
  return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}
