// GetFileInformationByHandle from the status of the handle's descriptor.
#include "entry_status.h"

#include "error_mapping.h"
#include "handle_table.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

using namespace winapi;

extern "C" BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
  auto object = descriptor_handle(hFile);
  if (!object) return FALSE;
  if (!lpFileInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat st;
  struct statx times;
  if (::fstat(object->fd, &st) != 0 || ::statx(object->fd, "", AT_EMPTY_PATH, STATX_BTIME, &times) != 0)
    return fail(errno, Call::generic, FALSE);
  // Pipes and character devices carry no file information on Windows.
  if (!object->file || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode))) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  const OpenFile& file = *object->file;
  bool target_directory = false;
  if (S_ISLNK(st.st_mode)) {
    struct stat target;
    target_directory = ::fstatat(file.directory_fd, file.name.c_str(), &target, 0) == 0 && S_ISDIR(target.st_mode);
  }
  BY_HANDLE_FILE_INFORMATION& info = *lpFileInformation;
  info.dwFileAttributes = attributes_of_descriptor(object->fd, st, target_directory, file.key);
  // As a listing shows it: the birth time where the file system keeps one.
  info.ftCreationTime = (times.stx_mask & STATX_BTIME) ? file_time(times.stx_btime) : file_time(st.st_ctim);
  info.ftLastAccessTime = file_time(st.st_atim);
  info.ftLastWriteTime = file_time(st.st_mtim);
  info.dwVolumeSerialNumber = static_cast<DWORD>(st.st_dev);
  uint64_t size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  info.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  info.nFileSizeLow = static_cast<DWORD>(size);
  info.nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
  info.nFileIndexHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_ino) >> 32);
  info.nFileIndexLow = static_cast<DWORD>(st.st_ino);
  return TRUE;
}
