// unlink_to_recycle_bin: hands a file to the shell, which moves it to the recycle bin.
#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <string>

#include <zav/errno.h>
#include <zav/path.h>
#include <zav/removal.h>
#include <zav/stdlib.h>
#include <zav/system_call.h>
#include <zav/unistd.h>
#include <zav/wide.h>
#include <zav/windows_version.h>

namespace zav {

namespace {

// Windows 95/98 may lack it.
SystemCall<int(WINAPI*)(LPSHFILEOPSTRUCTW)> wide_file_operation{"shell32.dll", "SHFileOperationW"};

// The shell's narrow call reads names in the ANSI code page, whatever the file
// code page is. A character without an ANSI form of its own becomes a best-fit
// stand-in (S for a sigma) that may name another file, so only a list that
// converts back unchanged is handed on: 0, or -1 with EILSEQ.
int ansi_name_list(const WCHAR* list, char* ansi, int size) {
  const std::size_t length = std::char_traits<WCHAR>::length(list);
  WCHAR back[MAX_PATH + 2];
  int n = WideCharToMultiByte(CP_ACP, 0, list, -1, ansi, size - 1, nullptr, nullptr);
  if (n == 0 || MultiByteToWideChar(CP_ACP, 0, ansi, -1, back, MAX_PATH + 2) != static_cast<int>(length + 1) ||
      std::char_traits<WCHAR>::compare(back, list, length) != 0)
    return fail_with(EILSEQ_);
  ansi[n] = '\0';
  return 0;
}

template <typename Operation, typename Name>
int recycle(int(WINAPI* operate)(Operation*), const Name* list) {
  Operation operation;
  std::memset(&operation, 0, sizeof operation);
  operation.hwnd = nullptr;
  operation.wFunc = FO_DELETE;
  operation.pFrom = list;
  operation.pTo = nullptr;
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOERRORUI;
  operation.fAnyOperationsAborted = FALSE;
  operation.hNameMappings = nullptr;
  operation.lpszProgressTitle = nullptr;
  return operate(&operation);
}

}  // namespace

int recycle_bin_name_list(const char* path, WCHAR* list, std::size_t count) {
  char name[MAX_PATH + 1];
  // absolute_name normalises its path in place; the caller's string stays as given.
  char* own = strdup(path);
  if (own == nullptr) return -1;
  const int r = absolute_name(nullptr, own, name, sizeof name);
  free(own);
  if (r != 0) return -1;
  const std::size_t len = std::strlen(name);
  // A byte widens to one character at most; the last place is the list's second terminator.
  if (len + 2 > count) return fail_with(ERANGE_);
  for (std::size_t i = 0; i < len; ++i) {
    if (name[i] == '/') name[i] = '\\';
  }
  const int n = wide_from_narrow(list, name, static_cast<int>(count - 1));
  if (n < 0) return -1;
  list[n] = 0;
  return 0;
}

int unlink_to_recycle_bin(const char* path) {
  WCHAR list[MAX_PATH + 2];
  if (recycle_bin_name_list(path, list, MAX_PATH + 2) != 0) return -1;

  int r;
  // Where Windows 95/98 has the wide call at all, it is not to be trusted to act.
  auto wide = running_on_windows_95() || narrow_calls_forced() ? nullptr : wide_file_operation.get();
  if (wide != nullptr) {
    r = recycle(wide, list);
  } else {
    char ansi[3 * (MAX_PATH + 2)];  // UTF-8 takes up to three bytes for a character
    if (ansi_name_list(list, ansi, sizeof ansi) != 0) return -1;
    r = recycle(SHFileOperationA, ansi);
  }
  if (r == 0) return 0;
  // The shell's codes are not all system error codes; only the low byte is passed on.
  SetLastError(static_cast<DWORD>(r) & 0xFF);
  return set_errno_from_last_error();
}

}  // namespace zav
