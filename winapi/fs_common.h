// Pieces shared by the file-system calls of the layer: name conversion in the
// file code page, Windows full path names, attributes and times of host entries.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

#include <windows.h>

namespace winapi {

// Windows 95/98 personality: the W functions do not exist there.
bool wide_calls_missing();

// The active ANSI (= OEM) code page: 65001 unless WINAPI_CODEPAGE selects another.
UINT active_code_page();

// Bytes of the active code page to UTF-16 and back. Bytes that do not decode map
// to U+DC00+byte and back, so every host name survives the round trip.
std::u16string widen(std::string_view bytes);
std::string narrow(std::u16string_view wide);

// For the W entry points: the narrow name, or nothing with the last error set
// (ERROR_CALL_NOT_IMPLEMENTED under the 95/98 personality).
std::optional<std::string> narrow_argument(LPCWSTR name);

bool is_separator(char c);

// The current directory in Windows form (Z:\home\user), without a trailing
// separator except at a root.
std::string current_directory();

// GetFullPathNameA's text work: drive forms, "." and "..", both separators.
// Nothing, with *error a Win32 code, for an empty or unusable name.
std::optional<std::string> full_path_name(std::string_view name, DWORD* error);

// The Windows form of an absolute host path, on drive Z:.
std::string windows_form(std::string_view host_absolute);

// 100 ns intervals since 1601.
FILETIME file_time(const struct timespec& time);

// Attributes of the entry at host_path as Windows shows them, from its lstat
// record; `target_is_directory` counts only for links. With `xattrs` given,
// user.DOSATTRIB is asked only while *xattrs holds, and *xattrs drops to false
// on a file system without extended attributes.
DWORD attributes_of(const char* host_path, const struct stat& entry, bool target_is_directory,
                    bool* xattrs = nullptr);

// The DOS attribute bits kept in user.DOSATTRIB (hidden, system, archive);
// *supported is set false when the file system keeps no extended attributes,
// *absent true when the entry has no such attribute.
DWORD dos_attributes(const char* host_path, bool* supported = nullptr, bool* absent = nullptr);

}  // namespace winapi
