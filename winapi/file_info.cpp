// GetFileInformationByHandle from the status of the handle's descriptor.
#include "entry_status.h"

#include "error_mapping.h"
#include "handle_table.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace winapi;

extern "C" BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
  auto object = descriptor_handle(hFile);
  if (!object) return FALSE;
  if (!lpFileInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct statx x;
  if (::statx(object->fd, "", AT_EMPTY_PATH, status_mask, &x) != 0) return fail(errno, Call::generic, FALSE);
  const mode_t mode = x.stx_mode;
  // Pipes and character devices carry no file information on Windows.
  if (!object->file || !(S_ISREG(mode) || S_ISDIR(mode) || S_ISLNK(mode))) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  const OpenFile& file = *object->file;
  bool target_directory = false;
  if (S_ISLNK(mode)) {
    struct stat target;
    target_directory = ::fstatat(file.directory_fd, file.name.c_str(), &target, 0) == 0 && S_ISDIR(target.st_mode);
  }
  BY_HANDLE_FILE_INFORMATION& info = *lpFileInformation;
  info.dwFileAttributes = attributes_of_descriptor(object->fd, mode, target_directory, file.key);
  // As a listing shows it: the birth time where the file system keeps one.
  info.ftCreationTime = file_time((x.stx_mask & STATX_BTIME) ? x.stx_btime : x.stx_ctime);
  info.ftLastAccessTime = file_time(x.stx_atime);
  info.ftLastWriteTime = file_time(x.stx_mtime);
  info.dwVolumeSerialNumber = static_cast<DWORD>(makedev(x.stx_dev_major, x.stx_dev_minor));
  uint64_t size = S_ISREG(x.stx_mode) ? x.stx_size : 0;
  info.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  info.nFileSizeLow = static_cast<DWORD>(size);
  info.nNumberOfLinks = x.stx_nlink;
  info.nFileIndexHigh = static_cast<DWORD>(x.stx_ino >> 32);
  info.nFileIndexLow = static_cast<DWORD>(x.stx_ino);
  return TRUE;
}
