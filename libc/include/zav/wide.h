// Wide and narrow names: the conversions, and the wide Win32 calls that fall back
// to their narrow forms where the system has no wide ones (Windows 95/98).
#pragma once

#include <cstddef>

#include <windows.h>

namespace zav {

// MultiByteToWideChar in the file code page, terminator included: the wide
// characters written, `count` when the buffer is too small, -1 (EILSEQ) otherwise.
int wide_from_narrow(WCHAR* wide, const char* narrow, int count);
// WideCharToMultiByte in the file code page: the bytes written without the
// terminator, `size` when the buffer is too small, -1 (EILSEQ) for a character
// with no narrow form. A size of 0 converts nothing.
int narrow_from_wide(char* narrow, const WCHAR* wide, int size);
// A new wide copy of a narrow path (caller frees); a fatal error when impossible.
WCHAR* widen_path(const char* path);

// Whether QV_WIN95_DEBUG asks for the narrow calls in place of the wide ones, as
// Windows 95/98 makes them.
bool narrow_calls_forced();

DWORD get_full_path_name_w(LPCWSTR name, DWORD length, LPWSTR buffer, LPWSTR* file_part);
HANDLE find_first_file_w(LPCWSTR name, WIN32_FIND_DATAW* data);
HANDLE create_file_w(LPCWSTR name, DWORD access, DWORD sharing, LPSECURITY_ATTRIBUTES security,
                     DWORD disposition, DWORD flags, HANDLE template_file);
DWORD get_file_attributes_w(LPCWSTR name);
DWORD get_current_directory_w(DWORD length, LPWSTR buffer);

// The narrow name of the latest fallback call; it only ever grows.
extern char* narrow_for_ansi_call;
extern std::size_t narrow_for_ansi_call_capacity;

}  // namespace zav
