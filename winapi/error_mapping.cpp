#include "error_mapping.h"

#include <cerrno>
#include <sys/stat.h>

namespace winapi {
namespace {

thread_local DWORD last_error = ERROR_SUCCESS;

bool is_directory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string without_trailing_slashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Windows says "file not found" when only the last component is missing and
// "path not found" when a directory on the way is.
DWORD missing_entry(const std::string& host_path) {
  std::string path = without_trailing_slashes(host_path);
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  auto slash = path.rfind('/');
  std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  return is_directory(parent) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// "file.txt\" names a file as if it were a directory: Windows calls that an
// invalid name, while a file in the middle of a path is a missing path.
// RemoveDirectoryA on a file is "not a directory" there.
DWORD not_a_directory(const std::string& host_path, Call call) {
  struct stat st;
  bool names_a_file = ::stat(without_trailing_slashes(host_path).c_str(), &st) == 0 &&
                      !S_ISDIR(st.st_mode);
  if (names_a_file && call == Call::remove_directory) return ERROR_DIRECTORY;
  if (names_a_file && host_path.back() == '/') return ERROR_INVALID_NAME;
  return ERROR_PATH_NOT_FOUND;
}

}  // namespace

DWORD win32_error_from_errno(int host_errno, Call call, const char* host_path) {
  switch (host_errno) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      if (call == Call::environment) return ERROR_ENVVAR_NOT_FOUND;
      return host_path ? missing_entry(host_path) : ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return host_path ? not_a_directory(host_path, call) : ERROR_PATH_NOT_FOUND;
    case ENODEV:  // a drive letter that leads nowhere
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      if (call == Call::lock) return ERROR_LOCK_VIOLATION;
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      // CreateFileA CREATE_NEW answers 80, the directory calls 183.
      return call == Call::create_file ? ERROR_FILE_EXISTS : ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOTTY:  // not a console
      return ERROR_INVALID_HANDLE;
    case ENXIO:  // no controlling terminal: Windows without a console answers so
      return ERROR_INVALID_HANDLE;
    case ETXTBSY:  // the layer's own sharing-mode conflict
      return ERROR_SHARING_VIOLATION;
    case EAGAIN:
      if (call == Call::lock) return ERROR_LOCK_VIOLATION;
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENOLCK:
      return call == Call::unlock ? ERROR_NOT_LOCKED : ERROR_NOT_ENOUGH_MEMORY;
    case EPIPE:
      // A read finds the writer gone; a write finds no reader, which Wine and
      // Windows both answer with ERROR_NO_DATA.
      return call == Call::read ? ERROR_BROKEN_PIPE : ERROR_NO_DATA;
    case EINVAL:
      if (call == Call::seek) return ERROR_NEGATIVE_SEEK;
      return ERROR_INVALID_PARAMETER;
    case ESPIPE:
      return ERROR_BAD_DEV_TYPE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case ELOOP:
      return ERROR_CANT_RESOLVE_FILENAME;
    case EMLINK:
      return ERROR_TOO_MANY_LINKS;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    case EBUSY:
      return call == Call::remove_directory ? ERROR_SHARING_VIOLATION : ERROR_BUSY;
    case EIO:
      return call == Call::write ? ERROR_WRITE_FAULT : ERROR_READ_FAULT;
    case EFBIG:
      return ERROR_DISK_FULL;
    case ENOSYS:
    case EOPNOTSUPP:
      return ERROR_NOT_SUPPORTED;
    case EILSEQ:
      return ERROR_NO_UNICODE_TRANSLATION;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace winapi

extern "C" {

DWORD WINAPI GetLastError(void) { return winapi::last_error; }

void WINAPI SetLastError(DWORD dwErrCode) { winapi::last_error = dwErrCode; }

}  // extern "C"
