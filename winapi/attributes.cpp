// Attributes kept on POSIX hosts: read-only as the owner's write permission,
// hidden/system/archive in user.DOSATTRIB ("0x22", the form Samba and Wine
// write), hidden also for dot names. Also the W forms that only convert names.
#include "fs_common.h"

#include "error_mapping.h"
#include "paths.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace winapi {
namespace {

constexpr DWORD dos_bits = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
constexpr const char* dos_attribute_name = "user.DOSATTRIB";

bool dot_name(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* name = slash ? slash + 1 : path;
  return name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

bool unsupported(int error) { return error == ENOTSUP || error == ENOSYS; }

// Write permissions that a file made now would get, for clearing read-only.
mode_t creation_write_bits() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("Umask:")) return 0222 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 0200;
}

}  // namespace

bool wide_calls_missing() { return (GetVersion() & 0x80000000u) != 0; }

bool wide_argument_usable(LPCWSTR name) {
  if (wide_calls_missing()) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

std::optional<std::string> narrow_argument(LPCWSTR name) {
  if (!wide_argument_usable(name)) return std::nullopt;
  return narrow(std::u16string_view(name));
}

FILETIME file_time(const struct timespec& time) {
  constexpr int64_t seconds_1601_to_1970 = 11644473600;
  uint64_t ticks = static_cast<uint64_t>((time.tv_sec + seconds_1601_to_1970) * 10000000 + time.tv_nsec / 100);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

namespace {

// getxattrat (Linux 6.13) reads relative to the search's open directory and
// spares a lookup of the whole path; older kernels, and sandboxes that refuse
// calls they do not know, take the path.
#if !defined(SYS_getxattrat) && (defined(__x86_64__) || defined(__aarch64__))
#define SYS_getxattrat 464
#endif

ssize_t read_dos_attribute(const EntryName& name, char* value, std::size_t size) {
#ifdef SYS_getxattrat
  static std::atomic<bool> relative_reads{true};
  if (name.at != AT_FDCWD && relative_reads) {
    struct {
      uint64_t value;
      uint32_t size;
      uint32_t flags;
    } args{reinterpret_cast<uintptr_t>(value), static_cast<uint32_t>(size), 0};
    long n = ::syscall(SYS_getxattrat, name.at, name.relative, AT_SYMLINK_NOFOLLOW, dos_attribute_name, &args,
                       sizeof args);
    if (n >= 0 || (errno != ENOSYS && errno != EPERM)) return n;
    int refused = errno;
    ssize_t by_path = ::lgetxattr(name.host, dos_attribute_name, value, size);
    // EPERM by path too is the entry's own answer, not a refusal of the call.
    if (refused == ENOSYS || by_path >= 0 || errno != EPERM) relative_reads = false;
    return by_path;
  }
#endif
  return ::lgetxattr(name.host, dos_attribute_name, value, size);
}

// The DOS attribute bits kept in user.DOSATTRIB (hidden, system, archive);
// *supported drops to false when the file system keeps no extended attributes,
// *absent becomes true when the entry has no such attribute.
DWORD dos_attributes(const EntryName& name, bool* supported, bool* absent) {
  char value[64];
  ssize_t n = read_dos_attribute(name, value, sizeof value - 1);
  if (n < 0 && supported && unsupported(errno)) *supported = false;
  if (n < 0 && absent && errno == ENODATA) *absent = true;
  if (n < 3) return 0;
  value[n] = '\0';
  if (value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return 0;
  return static_cast<DWORD>(std::strtoul(value + 2, nullptr, 16)) & dos_bits;
}

}  // namespace

DWORD attributes_of(const EntryName& name, const struct stat& entry, bool target_is_directory, bool* xattrs,
                    bool* dos_attribute_absent) {
  DWORD attributes = 0;
  bool absent = true;
  if (S_ISLNK(entry.st_mode)) {
    attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    if (target_is_directory) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  } else {
    if (S_ISDIR(entry.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (!(entry.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
    // Links hold no user.* attributes on Linux: no need to ask.
    if (!xattrs || *xattrs) {
      struct timespec tick;
      ::clock_gettime(CLOCK_REALTIME_COARSE, &tick);
      bool none = false;
      attributes |= dos_attributes(name, xattrs, &none);
      const struct timespec& changed = entry.st_ctim;
      bool settled = changed.tv_sec < tick.tv_sec || (changed.tv_sec == tick.tv_sec && changed.tv_nsec < tick.tv_nsec);
      absent = (none && settled) || (xattrs && !*xattrs);
    }
  }
  if (dos_attribute_absent) *dos_attribute_absent = absent;
  if (dot_name(name.relative)) attributes |= FILE_ATTRIBUTE_HIDDEN;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace winapi

using namespace winapi;

extern "C" {

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  int error = 0;
  char path[PATH_MAX];
  host_path_into(lpFileName, path, sizeof path, &error);
  if (error) return fail(error, Call::generic, INVALID_FILE_ATTRIBUTES);
  struct stat st {};
  if (const RecentEntry* seen = recent_entry(path); seen && !S_ISLNK(seen->mode)) {
    st.st_mode = seen->mode;
    bool ask_dos_attribute = !seen->dos_attribute_absent;
    return attributes_of(entry_name(path), st, false, &ask_dos_attribute);
  }
  if (::lstat(path, &st) != 0) return fail(errno, Call::generic, INVALID_FILE_ATTRIBUTES, path);
  struct stat target;
  bool target_is_directory = S_ISLNK(st.st_mode) && ::stat(path, &target) == 0 && S_ISDIR(target.st_mode);
  return attributes_of(entry_name(path), st, target_is_directory);
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
  int error = 0;
  char path[PATH_MAX];
  std::size_t length = host_path_into(lpFileName, path, sizeof path, &error);
  if (error) return fail(error, Call::generic, FALSE);
  while (length > 1 && path[length - 1] == '/') path[--length] = '\0';
  RecentEntry* seen = recent_entry(path);
  struct stat st;
  if (seen) {
    st.st_mode = seen->mode;
  } else {
    forget_recent_entry();
    if (::lstat(path, &st) != 0) return fail(errno, Call::generic, FALSE, path);
    seen = recent_entry_any_age(st);
  }
  // A link has no permissions of its own and holds no user.* attributes.
  if (S_ISLNK(st.st_mode)) return TRUE;

  mode_t mode = st.st_mode & 07777;
  if (dwFileAttributes & FILE_ATTRIBUTE_READONLY)
    mode &= ~mode_t{0222};
  else if (!(mode & S_IWUSR))
    mode |= creation_write_bits() | S_IWUSR;
  if (mode != (st.st_mode & 07777)) {
    if (::chmod(path, mode) != 0) return fail(errno, Call::generic, FALSE, path);
    if (seen) seen->mode = (seen->mode & ~mode_t{07777}) | mode;
  }

  DWORD bits = dwFileAttributes & dos_bits;
  int result;
  if (bits != 0) {
    if (seen) seen->dos_attribute_absent = false;
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(bits));
    result = ::lsetxattr(path, dos_attribute_name, text, std::strlen(text), 0);
  } else {
    if (seen && seen->dos_attribute_absent) return TRUE;
    result = ::lremovexattr(path, dos_attribute_name);
    if (result != 0 && errno == ENODATA) result = 0;
  }
  // Without extended attributes the bits have nowhere to go; Wine drops them too.
  if (result != 0 && !unsupported(errno)) return fail(errno, Call::generic, FALSE, path);
  return TRUE;
}

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
  auto name = narrow_argument(lpFileName);
  if (!name) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesA(name->c_str());
}

DWORD WINAPI GetShortPathNameA(LPCSTR lpszLongPath, LPSTR lpszShortPath, DWORD cchBuffer) {
  if (!lpszLongPath) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!*lpszLongPath) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  int error = 0;
  auto path = host_path(lpszLongPath, &error);
  if (!path) return fail(error, Call::generic, DWORD{0});
  struct stat st;
  if (::lstat(path->c_str(), &st) != 0) return fail(errno, Call::generic, DWORD{0}, *path);
  // No 8.3 names on these file systems: the long name is the short one.
  DWORD length = static_cast<DWORD>(std::strlen(lpszLongPath));
  if (!lpszShortPath || cchBuffer <= length) return length + 1;
  std::memmove(lpszShortPath, lpszLongPath, length + 1);
  return length;
}

}  // extern "C"
