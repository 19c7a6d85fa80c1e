// GetFileInformationByHandle from fstat of the handle's descriptor.
#include "fs_common.h"

#include "error_mapping.h"
#include "handle_table.h"

#include <cerrno>

using namespace winapi;

extern "C" BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
  auto object = descriptor_handle(hFile);
  if (!object) return FALSE;
  if (!lpFileInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat st;
  if (::fstat(object->fd, &st) != 0) return fail(errno, Call::generic, FALSE);
  // Pipes and character devices carry no file information on Windows.
  if (!object->file || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode))) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  const std::string& path = object->file->absolute_path;
  bool target_directory = false;
  if (S_ISLNK(st.st_mode)) {
    struct stat target;
    target_directory = ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
  }
  BY_HANDLE_FILE_INFORMATION& info = *lpFileInformation;
  info.dwFileAttributes = attributes_of(entry_name(path.c_str()), st, target_directory);
  info.ftCreationTime = file_time(st.st_ctim);
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
