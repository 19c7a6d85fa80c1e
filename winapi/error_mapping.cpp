#include "error_mapping.h"

#include <cerrno>

namespace winapi {
namespace {

thread_local DWORD last_error = ERROR_SUCCESS;

}  // namespace

DWORD win32_error_from_errno(int host_errno, Call call) {
  switch (host_errno) {
    case 0:
      return ERROR_SUCCESS;
    // Whether the entry or a directory on the way is missing is decided where the
    // look-up happens (held_directories.cpp).
    case ENOENT:
      if (call == Call::environment) return ERROR_ENVVAR_NOT_FOUND;
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
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
