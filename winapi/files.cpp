#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "error_mapping.h"
#include "fs_common.h"
#include "handle_table.h"
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

bool is_directory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string absolute(const std::string& path) {
  if (path.starts_with('/')) return path;
  char cwd[PATH_MAX];
  if (!::getcwd(cwd, sizeof cwd)) return path;
  return std::string(cwd) + "/" + path;
}

HANDLE open_device(const DeviceName& device, const char* name, const Rights& rights, bool inherit) {
  if (device.directory_error) return fail(device.directory_error, Call::create_file, INVALID_HANDLE_VALUE);
  if (!device.directory.empty() && !is_directory(device.directory)) {
    int error = 0;
    return fail(ENOENT, Call::create_file, INVALID_HANDLE_VALUE, host_path(name, &error).value_or(""));
  }
  const char* host = device.device == Device::null ? "/dev/null" : "/dev/tty";
  int fd = ::open(host, rights.open_mode() | (inherit ? 0 : O_CLOEXEC));
  if (fd < 0) return fail(errno, Call::create_file, INVALID_HANDLE_VALUE, host);
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

std::shared_ptr<OpenFile> open_file_record(const struct stat& st, const Rights& rights, DWORD share,
                                           const std::string& path, DWORD flags) {
  auto file = std::make_shared<OpenFile>();
  file->device = st.st_dev;
  file->inode = st.st_ino;
  file->access = rights.sharing_access();
  file->share = share;
  file->absolute_path = absolute(path);
  file->delete_on_close = (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  return file;
}

// FILE_FLAG_OPEN_REPARSE_POINT on a link opens the link itself; one that leads to
// a directory is a junction, which opens only with FILE_FLAG_BACKUP_SEMANTICS.
HANDLE open_link(const std::string& path, const struct stat& link, const Rights& rights, DWORD share,
                 DWORD disposition, DWORD flags, bool inherit) {
  if (disposition == CREATE_NEW) return fail(EEXIST, Call::create_file, INVALID_HANDLE_VALUE, path);
  struct stat target;
  bool directory = ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
  if (directory && !(flags & FILE_FLAG_BACKUP_SEMANTICS))
    return fail(EACCES, Call::create_file, INVALID_HANDLE_VALUE, path);
  if (!sharing_allows(link.st_dev, link.st_ino, rights.sharing_access(), share))
    return fail(ETXTBSY, Call::create_file, INVALID_HANDLE_VALUE, path);
  int fd = ::open(path.c_str(), O_PATH | O_NOFOLLOW | (inherit ? 0 : O_CLOEXEC));
  if (fd < 0) return fail(errno, Call::create_file, INVALID_HANDLE_VALUE, path);
  HandleObject object;
  object.fd = fd;
  object.inherit = inherit;
  object.file = open_file_record(link, rights, share, path, flags);
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
  forget_recent_entry();
  const DWORD disposition = dwCreationDisposition;
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING)
    return fail(EINVAL, Call::create_file, INVALID_HANDLE_VALUE);
  const bool inherit = lpSecurityAttributes && lpSecurityAttributes->bInheritHandle;
  const Rights rights = rights_for(dwDesiredAccess, dwFlagsAndAttributes);

  if (auto device = dos_device(lpFileName)) return open_device(*device, lpFileName, rights, inherit);

  int error = 0;
  auto found = host_path(lpFileName, &error);
  if (!found) return fail(error, Call::create_file, INVALID_HANDLE_VALUE);
  const std::string& path = *found;

  struct stat st;
  if (dwFlagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) {
    // "junction\" still names the junction itself.
    std::string link = path;
    while (link.size() > 1 && link.back() == '/') link.pop_back();
    if (::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
      return open_link(link, st, rights, dwShareMode, disposition, dwFlagsAndAttributes, inherit);
  }
  bool exists = ::stat(path.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return fail(errno, Call::create_file, INVALID_HANDLE_VALUE, path);
  bool directory = exists && S_ISDIR(st.st_mode);
  const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  if (exists) {
    if (disposition == CREATE_NEW) return fail(EEXIST, Call::create_file, INVALID_HANDLE_VALUE, path);
    // A directory opens only for its metadata, and only when asked for explicitly.
    if (directory && (!(dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) || truncates))
      return fail(EACCES, Call::create_file, INVALID_HANDLE_VALUE, path);
    // Read-only is the owner's missing write bit, and it holds for root too.
    bool modifies = rights.write || rights.append || rights.remove || truncates;
    if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR) && modifies)
      return fail(EACCES, Call::create_file, INVALID_HANDLE_VALUE, path);
    if (!sharing_allows(st.st_dev, st.st_ino, rights.sharing_access(), dwShareMode))
      return fail(ETXTBSY, Call::create_file, INVALID_HANDLE_VALUE, path);
  } else if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
    return fail(ENOENT, Call::create_file, INVALID_HANDLE_VALUE, path);
  }

  const int flags = (directory ? O_RDONLY | O_DIRECTORY : rights.open_mode()) | (inherit ? 0 : O_CLOEXEC);
  const mode_t mode = (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  bool existed = exists;
  int fd = -1;
  if (directory || disposition == OPEN_EXISTING) {
    fd = ::open(path.c_str(), flags);
  } else if (disposition == TRUNCATE_EXISTING) {
    fd = ::open(path.c_str(), flags | O_TRUNC);
  } else {
    // O_EXCL first, so that the answer about an existing file is not a guess.
    fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
    existed = fd < 0 && errno == EEXIST;
    if (existed && disposition != CREATE_NEW)
      fd = ::open(path.c_str(), flags | (disposition == CREATE_ALWAYS ? O_TRUNC : 0));
  }
  if (fd < 0 && errno == EACCES && !rights.read && !rights.write && !rights.append)
    fd = ::open(path.c_str(), O_PATH | (flags & O_CLOEXEC));
  if (fd < 0) return fail(errno, Call::create_file, INVALID_HANDLE_VALUE, path);
  if (existed && disposition == CREATE_ALWAYS && (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY))
    ::fchmod(fd, 0444);
  if (::fstat(fd, &st) != 0) {
    int fstat_error = errno;
    ::close(fd);
    return fail(fstat_error, Call::create_file, INVALID_HANDLE_VALUE, path);
  }

  auto file = open_file_record(st, rights, dwShareMode, path, dwFlagsAndAttributes);

  HandleObject object;
  object.fd = fd;
  object.can_read = rights.read;
  object.can_write = rights.write || rights.append;
  object.inherit = inherit;
  object.file = std::move(file);
  HANDLE handle = insert_handle(std::move(object));
  bool reports_existing = existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
  SetLastError(reports_existing ? ERROR_ALREADY_EXISTS : NO_ERROR);
  return handle;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  int error = 0;
  char path[PATH_MAX];
  host_path_into(lpFileName, path, sizeof path, &error);
  if (error) return fail(error, Call::remove_file, FALSE);
  const RecentEntry* seen = recent_entry(path);
  struct stat st;
  if (seen && !S_ISLNK(seen->mode)) {
    st.st_mode = seen->mode;
    st.st_dev = seen->device;
    st.st_ino = seen->inode;
  } else {
    seen = nullptr;
    if (::lstat(path, &st) != 0) return fail(errno, Call::remove_file, FALSE, path);
  }
  if (S_ISDIR(st.st_mode)) return fail(EACCES, Call::remove_file, FALSE, path);
  // A link to a directory is a junction on Windows, which DeleteFileA refuses.
  struct stat target;
  if (S_ISLNK(st.st_mode) && ::stat(path, &target) == 0 && S_ISDIR(target.st_mode))
    return fail(EACCES, Call::remove_file, FALSE, path);
  if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) return fail(EACCES, Call::remove_file, FALSE, path);
  if (!sharing_allows(st.st_dev, st.st_ino, access_delete, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
    return fail(ETXTBSY, Call::remove_file, FALSE, path);
  // Within the search's open directory the name is looked up from there.
  int removed = seen && seen->directory_fd >= 0 ? ::unlinkat(seen->directory_fd, seen->path.c_str() + seen->name_offset, 0)
                                                : ::unlink(path);
  int unlink_error = errno;
  forget_recent_entry();
  // EISDIR: it became a directory since the search looked.
  if (removed != 0) return fail(unlink_error, Call::remove_file, FALSE, path);
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
