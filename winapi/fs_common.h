// Pieces shared by the file-system calls of the layer: name conversion in the
// file code page, Windows full path names and the current directory.
#pragma once

#include <optional>
#include <string>
#include <string_view>

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

// For the W entry points: whether the call exists and got a name; false with the
// last error set (ERROR_CALL_NOT_IMPLEMENTED under the 95/98 personality).
bool wide_argument_usable(LPCWSTR name);

// The same, and the narrow name.
std::optional<std::string> narrow_argument(LPCWSTR name);

bool is_separator(char c);

// Where the last separator of a name is (npos if none), honouring the lead bytes
// of a double-byte code page, whose second bytes may be backslashes.
size_t last_separator(std::string_view name);

// The current directory in Windows form (Z:\home\user), without a trailing
// separator except at a root.
std::string current_directory();

// The host path of the current directory, absolute and without a trailing
// separator: what relative names are below.
std::string host_current_directory();

// The root of the current directory's drive (Z:\) or network name (\\server\share\).
std::string current_root();

// GetFullPathNameA's text work: drive forms, "." and "..", both separators.
// Nothing, with *error a Win32 code, for an empty or unusable name.
std::optional<std::string> full_path_name(std::string_view name, DWORD* error);

// The Windows form of an absolute host path, on drive Z:.
std::string windows_form(std::string_view host_absolute);

}  // namespace winapi
