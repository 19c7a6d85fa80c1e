// The wide Win32 file calls, with the narrow call in their place where the system
// answers ERROR_CALL_NOT_IMPLEMENTED (Windows 95/98) or QV_WIN95_DEBUG asks for it.
#include <zav/errno.h>
#include <zav/stdlib.h>
#include <zav/wide.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace zav {

char* narrow_for_ansi_call = nullptr;
std::size_t narrow_for_ansi_call_capacity = 0;

bool narrow_calls_forced() { return getenv("QV_WIN95_DEBUG") != nullptr; }

namespace {

// True when the failure of the wide call (or the forced narrow path) leaves the
// narrow call to be made.
bool wants_narrow_call() { return GetLastError() == ERROR_CALL_NOT_IMPLEMENTED; }

bool fail_with_errno() {
  SetLastError(static_cast<DWORD>(errno_));
  return false;
}

// The narrow form of `name` in narrow_for_ansi_call; false with the last error set.
bool narrow_name(LPCWSTR name) {
  std::size_t length = std::char_traits<WCHAR>::length(name);
  // A UTF-16 unit takes up to three bytes in UTF-8, two in a double-byte code page.
  std::size_t needed = 3 * length + 2;
  if (needed > narrow_for_ansi_call_capacity) {
    free(narrow_for_ansi_call);
    narrow_for_ansi_call_capacity = 0;
    narrow_for_ansi_call = static_cast<char*>(malloc(needed));
    if (narrow_for_ansi_call == nullptr) return fail_with_errno();
    narrow_for_ansi_call_capacity = needed;
  }
  int size = static_cast<int>(narrow_for_ansi_call_capacity);
  int n = narrow_from_wide(narrow_for_ansi_call, name, size);
  if (n == size) {
    errno_ = EILSEQ_;  // cannot happen with the capacity above; never pass on a cut name
    n = -1;
  }
  if (n < 0) return fail_with_errno();
  return true;
}

// Makes the wide call unless narrow calls are forced. False when its answer
// stands (`result`: success, or a failure the narrow call would not mend); true
// when the narrow call is to be made in its place, with `result` the failure.
template <typename Result, typename WideCall>
bool narrow_call_needed(Result& result, Result failure, WideCall wide_call) {
  if (narrow_calls_forced())
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  else if ((result = wide_call()) != failure)
    return false;
  result = failure;
  return wants_narrow_call();
}

// Number of wide characters that the first `bytes` bytes of `narrow` make.
int wide_characters(const char* narrow, int bytes) {
  if (bytes == 0) return 0;
  return MultiByteToWideChar(AreFileApisANSI() ? CP_ACP : CP_OEMCP, 0, narrow, bytes, nullptr, 0);
}

}  // namespace

DWORD get_full_path_name_w(LPCWSTR name, DWORD length, LPWSTR buffer, LPWSTR* file_part) {
  DWORD wide_result;
  if (!narrow_call_needed(wide_result, DWORD{0}, [&] { return GetFullPathNameW(name, length, buffer, file_part); }) ||
      !narrow_name(name))
    return wide_result;

  auto narrow = static_cast<char*>(malloc(length));
  if (narrow == nullptr) {
    fail_with_errno();
    return 0;
  }
  LPSTR narrow_part = nullptr;
  DWORD n = GetFullPathNameA(narrow_for_ansi_call, length, narrow, &narrow_part);
  if (n != 0 && n < length) {
    if (wide_from_narrow(buffer, narrow, static_cast<int>(n + 1)) < 0) {
      free(narrow);
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
    // A character position, not a byte offset: double-byte characters widen to one.
    if (file_part != nullptr)
      *file_part = narrow_part != nullptr
                       ? buffer + wide_characters(narrow, static_cast<int>(narrow_part - narrow))
                       : nullptr;
  }
  free(narrow);
  return n;
}

HANDLE find_first_file_w(LPCWSTR name, WIN32_FIND_DATAW* data) {
  HANDLE wide_search;
  if (!narrow_call_needed(wide_search, INVALID_HANDLE_VALUE, [&] { return FindFirstFileW(name, data); }) ||
      !narrow_name(name))
    return wide_search;

  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(narrow_for_ansi_call, &found);
  if (search == INVALID_HANDLE_VALUE) return search;
  data->dwFileAttributes = found.dwFileAttributes;
  data->ftCreationTime = found.ftCreationTime;
  data->ftLastAccessTime = found.ftLastAccessTime;
  data->ftLastWriteTime = found.ftLastWriteTime;
  data->nFileSizeHigh = found.nFileSizeHigh;
  data->nFileSizeLow = found.nFileSizeLow;
  data->dwReserved0 = found.dwReserved0;
  data->dwReserved1 = found.dwReserved1;
  if (wide_from_narrow(data->cFileName, found.cFileName, MAX_PATH) < 0 ||
      wide_from_narrow(data->cAlternateFileName, found.cAlternateFileName, 14) < 0) {
    FindClose(search);
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return INVALID_HANDLE_VALUE;
  }
  return search;
}

HANDLE create_file_w(LPCWSTR name, DWORD access, DWORD sharing, LPSECURITY_ATTRIBUTES security,
                     DWORD disposition, DWORD flags, HANDLE template_file) {
  HANDLE file;
  if (!narrow_call_needed(file, INVALID_HANDLE_VALUE,
                          [&] { return CreateFileW(name, access, sharing, security, disposition, flags, template_file); }) ||
      !narrow_name(name))
    return file;
  return CreateFileA(narrow_for_ansi_call, access, sharing, security, disposition, flags,
                     template_file);
}

DWORD get_file_attributes_w(LPCWSTR name) {
  DWORD attributes;
  if (!narrow_call_needed(attributes, INVALID_FILE_ATTRIBUTES, [&] { return GetFileAttributesW(name); }) ||
      !narrow_name(name))
    return attributes;
  return GetFileAttributesA(narrow_for_ansi_call);
}

DWORD get_current_directory_w(DWORD length, LPWSTR buffer) {
  DWORD wide_result;
  if (!narrow_call_needed(wide_result, DWORD{0}, [&] { return GetCurrentDirectoryW(length, buffer); }))
    return wide_result;

  DWORD needed = GetCurrentDirectoryA(0, nullptr);
  if (needed == 0) return 0;
  auto narrow = static_cast<char*>(malloc(needed + 1));
  if (narrow == nullptr) {
    fail_with_errno();
    return 0;
  }
  DWORD n = GetCurrentDirectoryA(needed + 1, narrow);
  if (n != 0) wide_from_narrow(buffer, narrow, static_cast<int>(length));
  free(narrow);
  return n;
}

}  // namespace zav
