#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "error_mapping.h"
#include "fs_common.h"
#include "handle_table.h"
#include "held_directories.h"
#include "paths.h"

namespace winapi {
namespace {

struct Rights {
  bool read = false;
  bool write = false;
  bool append = false;  // append data without write data
  bool remove = false;

  DWORD sharing_access() const {
    return (read ? access_read : 0) | (write || append ? access_write : 0) |
           (remove ? access_delete : 0);
  }
  int open_mode() const {
    bool writes = write || append;
    int mode = read && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    return append && !write ? mode | O_APPEND : mode;
  }
};

Rights rights_for(DWORD access, DWORD flags) {
  Rights rights;
  rights.read = access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
  rights.write = access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA);
  rights.append = !rights.write && (access & FILE_APPEND_DATA);
  rights.remove = (access & (DELETE | GENERIC_ALL)) || (flags & FILE_FLAG_DELETE_ON_CLOSE);
  return rights;
}

HANDLE fail_with(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

HANDLE open_device(const DeviceName& device, const Rights& rights, bool inherit) {
  if (device.directory_error) return fail(device.directory_error, Call::create_file, INVALID_HANDLE_VALUE);
  struct stat st;
  if (!device.directory.empty() && (::stat(device.directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
    return fail_with(ERROR_PATH_NOT_FOUND);
  const char* host = device.device == Device::null ? "/dev/null" : "/dev/tty";
  int fd = ::open(host, rights.open_mode() | (inherit ? 0 : O_CLOEXEC));
  if (fd < 0) return fail(errno, Call::create_file, INVALID_HANDLE_VALUE);
  HandleObject object;
  object.fd = fd;
  object.can_read = rights.read;
  object.can_write = rights.write || rights.append;
  object.inherit = inherit;
  object.console_input = device.device == Device::console_input ||
                         (device.device == Device::console && rights.read && !rights.write);
  SetLastError(NO_ERROR);
  return insert_handle(std::move(object));
}

// A link keeps its directory, where what it leads to is looked at, and so does a
// file that goes with its last handle, which is removed from there.
std::shared_ptr<OpenFile> open_file_record(const struct stat& st, const Rights& rights, DWORD share,
                                           const EntryPath& entry, DWORD flags) {
  auto file = std::make_shared<OpenFile>();
  file->device = st.st_dev;
  file->inode = st.st_ino;
  file->access = rights.sharing_access();
  file->share = share;
  file->key = entry.key();
  file->delete_on_close = (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  if (file->delete_on_close || S_ISLNK(st.st_mode)) {
    file->directory_fd = entry.open_directory();
    file->name = entry.last_component();
  }
  return file;
}

// FILE_FLAG_OPEN_REPARSE_POINT on a link opens the link itself; one that leads to
// a directory is a junction, which opens only with FILE_FLAG_BACKUP_SEMANTICS.
HANDLE open_link(const EntryPath& entry, const struct stat& link, const Rights& rights, DWORD share,
                 DWORD disposition, DWORD flags, bool inherit) {
  if (disposition == CREATE_NEW) return fail(EEXIST, Call::create_file, INVALID_HANDLE_VALUE);
  struct stat target;
  bool directory = ::fstatat(entry.at(), entry.name(), &target, 0) == 0 && S_ISDIR(target.st_mode);
  if (directory && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) return fail(EACCES, Call::create_file, INVALID_HANDLE_VALUE);
  if (!sharing_allows(link.st_dev, link.st_ino, rights.sharing_access(), share))
    return fail(ETXTBSY, Call::create_file, INVALID_HANDLE_VALUE);
  int fd = ::openat(entry.at(), entry.name(), O_PATH | O_NOFOLLOW | (inherit ? 0 : O_CLOEXEC));
  if (fd < 0) return entry.fail(errno, Call::create_file, INVALID_HANDLE_VALUE);
  HandleObject object;
  object.fd = fd;
  object.inherit = inherit;
  object.file = open_file_record(link, rights, share, entry, flags);
  HANDLE handle = insert_handle(std::move(object));
  SetLastError(disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS ? ERROR_ALREADY_EXISTS : NO_ERROR);
  return handle;
}

}  // namespace
}  // namespace winapi

using namespace winapi;

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
  const DWORD disposition = dwCreationDisposition;
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING)
    return fail(EINVAL, Call::create_file, INVALID_HANDLE_VALUE);
  const bool inherit = lpSecurityAttributes && lpSecurityAttributes->bInheritHandle;
  const Rights rights = rights_for(dwDesiredAccess, dwFlagsAndAttributes);

  if (auto device = dos_device(lpFileName)) return open_device(*device, rights, inherit);

  EntryPath entry;
  if (!resolve_entry(lpFileName, &entry)) return INVALID_HANDLE_VALUE;
  const int at = entry.at();
  const char* name = entry.name();

  struct stat st;
  const bool reparse_point = dwFlagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT;
  // With FILE_FLAG_OPEN_REPARSE_POINT what is not a link is looked at once.
  bool exists = ::fstatat(at, name, &st, reparse_point ? AT_SYMLINK_NOFOLLOW : 0) == 0;
  if (exists && reparse_point && S_ISLNK(st.st_mode))
    return open_link(entry, st, rights, dwShareMode, disposition, dwFlagsAndAttributes, inherit);
  if (!exists && errno != ENOENT) return entry.fail(errno, Call::create_file, INVALID_HANDLE_VALUE);
  if (exists && entry.refuses(st.st_mode)) return fail_with(ERROR_INVALID_NAME);
  bool directory = exists && S_ISDIR(st.st_mode);
  const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  if (exists) {
    if (disposition == CREATE_NEW) return fail(EEXIST, Call::create_file, INVALID_HANDLE_VALUE);
    // A directory opens only for its metadata, and only when asked for explicitly.
    if (directory && (!(dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) || truncates))
      return fail(EACCES, Call::create_file, INVALID_HANDLE_VALUE);
    // Read-only is the owner's missing write bit, and it holds for root too.
    bool modifies = rights.write || rights.append || rights.remove || truncates;
    if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR) && modifies)
      return fail(EACCES, Call::create_file, INVALID_HANDLE_VALUE);
    if (!sharing_allows(st.st_dev, st.st_ino, rights.sharing_access(), dwShareMode))
      return fail(ETXTBSY, Call::create_file, INVALID_HANDLE_VALUE);
  } else if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
    return entry.fail(ENOENT, Call::create_file, INVALID_HANDLE_VALUE);
  }

  int flags = (directory ? O_RDONLY | O_DIRECTORY : rights.open_mode()) | (inherit ? 0 : O_CLOEXEC);
  // What was looked at is what opens: a link put in its place is not followed.
  if (reparse_point) flags |= O_NOFOLLOW;
  const mode_t mode = (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  bool existed = exists;
  int fd = -1;
  if (directory || disposition == OPEN_EXISTING) {
    fd = ::openat(at, name, flags);
  } else if (disposition == TRUNCATE_EXISTING) {
    fd = ::openat(at, name, flags | O_TRUNC);
  } else {
    // O_EXCL first, so that the answer about an existing file is not a guess.
    fd = ::openat(at, name, flags | O_CREAT | O_EXCL, mode);
    existed = fd < 0 && errno == EEXIST;
    if (existed && disposition != CREATE_NEW)
      fd = ::openat(at, name, flags | (disposition == CREATE_ALWAYS ? O_TRUNC : 0));
  }
  if (fd < 0 && errno == EACCES && !rights.read && !rights.write && !rights.append)
    fd = ::openat(at, name, O_PATH | (flags & (O_CLOEXEC | O_NOFOLLOW)));
  if (fd < 0) return entry.fail(errno, Call::create_file, INVALID_HANDLE_VALUE);
  if (existed && disposition == CREATE_ALWAYS && (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY))
    ::fchmod(fd, 0444);
  if (::fstat(fd, &st) != 0) {
    int fstat_error = errno;
    ::close(fd);
    return fail(fstat_error, Call::create_file, INVALID_HANDLE_VALUE);
  }

  HandleObject object;
  object.fd = fd;
  object.can_read = rights.read;
  object.can_write = rights.write || rights.append;
  object.inherit = inherit;
  object.file = open_file_record(st, rights, dwShareMode, entry, dwFlagsAndAttributes);
  HANDLE handle = insert_handle(std::move(object));
  bool reports_existing = existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
  SetLastError(reports_existing ? ERROR_ALREADY_EXISTS : NO_ERROR);
  return handle;
}

// The entry is looked at and removed relative to the directory it was found in;
// a link is removed itself. Windows refuses a directory, a junction and a
// read-only file, and a file open without delete sharing.
BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  EntryPath entry;
  if (!resolve_entry(lpFileName, &entry)) return FALSE;
  const int at = entry.at();
  const char* name = entry.name();
  struct stat st;
  if (::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return entry.fail(errno, Call::remove_file, FALSE);
  if (entry.refuses(st.st_mode)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (S_ISDIR(st.st_mode)) return fail(EACCES, Call::remove_file, FALSE);
  struct stat target;
  if (S_ISLNK(st.st_mode) && ::fstatat(at, name, &target, 0) == 0 && S_ISDIR(target.st_mode))
    return fail(EACCES, Call::remove_file, FALSE);
  if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) return fail(EACCES, Call::remove_file, FALSE);
  if (!sharing_allows(st.st_dev, st.st_ino, access_delete, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
    return fail(ETXTBSY, Call::remove_file, FALSE);
  // EISDIR: a directory took the name since it was looked at.
  if (::unlinkat(at, name, 0) != 0) return entry.fail(errno, Call::remove_file, FALSE);
  return TRUE;
}

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  auto name = narrow_argument(lpFileName);
  if (!name) return INVALID_HANDLE_VALUE;
  return CreateFileA(name->c_str(), dwDesiredAccess, dwShareMode, lpSecurityAttributes, dwCreationDisposition,
                     dwFlagsAndAttributes, hTemplateFile);
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  auto name = narrow_argument(lpFileName);
  if (!name) return FALSE;
  return DeleteFileA(name->c_str());
}

}  // extern "C"
