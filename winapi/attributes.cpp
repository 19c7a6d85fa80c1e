// GetFileAttributesA and SetFileAttributesA over the entry's status and its
// user.DOSATTRIB; also the W forms that only convert names.
#include "fs_common.h"

#include "entry_status.h"
#include "error_mapping.h"
#include "held_directories.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace winapi {
namespace {

// Write permissions that a file made now would get, for clearing read-only.
mode_t creation_write_bits() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("Umask:")) return 0222 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 0200;
}

// Only the write bits follow read-only; every other bit stays as the file has it.
mode_t mode_for(mode_t mode, DWORD attributes) {
  mode &= 07777;
  if (attributes & FILE_ATTRIBUTE_READONLY) return mode & ~mode_t{0222};
  if (mode & S_IWUSR) return mode;
  return mode | creation_write_bits() | S_IWUSR;
}

#if !defined(SYS_fchmodat2) && (defined(__x86_64__) || defined(__aarch64__))
#define SYS_fchmodat2 452
#endif

// The mode of the file behind an O_PATH descriptor: fchmodat2 (Linux 6.6) takes
// the descriptor itself, older kernels the file through /proc.
bool change_mode(int fd, mode_t mode) {
#ifdef SYS_fchmodat2
  if (::syscall(SYS_fchmodat2, fd, "", mode, AT_EMPTY_PATH) == 0) return true;
  if (errno != ENOSYS && errno != EINVAL && errno != EPERM) return false;
#endif
  char path[32];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  return ::chmod(path, mode) == 0;
}

// Bits to set, or an attribute that may be there to go.
bool dos_attribute_changes(const struct statx& entry, DWORD attributes) {
  return keeps_dos_attribute(entry.stx_mode) && ((attributes & dos_bits) != 0 || !known_without_dos_attribute(entry));
}

// A link has no permissions of its own.
bool needs_change(const struct statx& entry, DWORD attributes) {
  if (S_ISLNK(entry.stx_mode)) return false;
  return mode_for(entry.stx_mode, attributes) != (entry.stx_mode & 07777) || dos_attribute_changes(entry, attributes);
}

constexpr unsigned change_mask = STATX_TYPE | STATX_MODE | STATX_INO | STATX_CTIME;

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

}  // namespace winapi

using namespace winapi;

extern "C" {

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  EntryPath entry;
  if (!resolve_entry(lpFileName, &entry)) return INVALID_FILE_ATTRIBUTES;
  EntryStatus status;
  if (!describe_entry(entry.at(), entry.name(), &status)) return entry.fail(errno, Call::generic, INVALID_FILE_ATTRIBUTES);
  const struct statx& x = status.status;
  if (entry.refuses(x.stx_mode)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_FILE_ATTRIBUTES;
  }
  note_described(entry.key(), makedev(x.stx_dev_major, x.stx_dev_minor), x.stx_ino, x.stx_mode);
  return status.attributes;
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
  EntryPath entry;
  if (!resolve_entry(lpFileName, &entry)) return FALSE;
  struct statx seen;
  if (::statx(entry.at(), entry.name(), AT_SYMLINK_NOFOLLOW, change_mask, &seen) != 0)
    return entry.fail(errno, Call::generic, FALSE);
  if (entry.refuses(seen.stx_mode)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (!needs_change(seen, dwFileAttributes)) return TRUE;
  // The change is worked out from the inode it is made to, through one descriptor
  // of it: whatever the name leads to meanwhile, nothing of another file is carried.
  int fd = ::openat(entry.at(), entry.name(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return entry.fail(errno, Call::generic, FALSE);
  struct statx own;
  bool done = ::statx(fd, "", AT_EMPTY_PATH, change_mask, &own) == 0;
  if (done && needs_change(own, dwFileAttributes)) {
    mode_t mode = mode_for(own.stx_mode, dwFileAttributes);
    done = mode == (own.stx_mode & 07777) || change_mode(fd, mode);
    if (done && dos_attribute_changes(own, dwFileAttributes)) done = write_dos_attribute(fd, dwFileAttributes);
  }
  int change_error = errno;
  ::close(fd);
  if (!done) return entry.fail(change_error, Call::generic, FALSE);
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
  EntryPath entry;
  if (!resolve_entry(lpszLongPath, &entry)) return 0;
  struct stat st;
  if (::fstatat(entry.at(), entry.name(), &st, AT_SYMLINK_NOFOLLOW) != 0) return entry.fail(errno, Call::generic, DWORD{0});
  // No 8.3 names on these file systems: the long name is the short one.
  DWORD length = static_cast<DWORD>(std::strlen(lpszLongPath));
  if (!lpszShortPath || cchBuffer <= length) return length + 1;
  std::memmove(lpszShortPath, lpszLongPath, length + 1);
  return length;
}

}  // extern "C"
