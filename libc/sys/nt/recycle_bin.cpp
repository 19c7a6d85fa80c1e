// unlink_to_recycle_bin: hands a file to the shell, which moves it to the recycle bin.
#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include <zav/errno.h>
#include <zav/path.h>
#include <zav/removal.h>
#include <zav/stdlib.h>
#include <zav/unistd.h>

namespace zav {

int recycle_bin_name_list(const char* path, char* list, std::size_t size) {
  if (size < 3) return fail_with(ERANGE_);
  // absolute_name normalises its path in place; the caller's string stays as given.
  char* own = strdup(path);
  if (own == nullptr) return -1;
  // Keep the last byte for the list's second terminator.
  const int r = absolute_name(nullptr, own, list, size - 1);
  free(own);
  if (r != 0) return -1;
  const std::size_t len = std::strlen(list);
  for (std::size_t i = 0; i < len; ++i) {
    if (list[i] == '/') list[i] = '\\';
  }
  list[len + 1] = '\0';
  return 0;
}

int unlink_to_recycle_bin(const char* path) {
  char list[MAX_PATH + 2];
  if (recycle_bin_name_list(path, list, sizeof list) != 0) return -1;

  SHFILEOPSTRUCTA operation;
  std::memset(&operation, 0, sizeof operation);
  operation.hwnd = nullptr;
  operation.wFunc = FO_DELETE;
  operation.pFrom = list;
  operation.pTo = nullptr;
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOERRORUI;
  operation.fAnyOperationsAborted = FALSE;
  operation.hNameMappings = nullptr;
  operation.lpszProgressTitle = nullptr;

  const int r = SHFileOperationA(&operation);
  if (r == 0) return 0;
  // The shell's codes are not all system error codes; only the low byte is passed on.
  SetLastError(static_cast<DWORD>(r) & 0xFF);
  return set_errno_from_last_error();
}

}  // namespace zav
