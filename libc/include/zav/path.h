// Path names: one form (slashes, c: drives) for every name the runtime hands out,
// the current and per-drive directories, absolute names and volume information.
#pragma once

#include <cstddef>

#include <windows.h>

namespace zav {

// The environment's =X:=path entries, one per drive, null-terminated; built at
// start-up, kept current by chdir.
extern char** drive_directory_list;

// Whether c begins a double-byte character in the file code page.
bool is_lead_byte(char c);
// ASCII upper case to lower case in place; double-byte characters stay as they are.
void fold_to_lower_case(char* path);

// Both slashes separate names, narrow or wide.
template <typename Character>
constexpr bool is_separator(Character c) {
  return c == '/' || c == '\\';
}

// Whether `path` begins with a drive letter and its colon (c:).
inline bool has_drive_prefix(const char* path) {
  const char c = path[0];
  return ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) && path[1] == ':';
}

// Turns the drive form /c= into c: (while slash_drive_form is set) and every
// backslash into a slash, honouring double-byte characters. Changes `path` in place.
char* normalise_path(char* path);
// Cuts one trailing slash off an operand, except from /, from c:/ and any
// other name of three characters, and after a colon.
void drop_trailing_slash(char* path);
// For a path that begins with a separator: /c=, /c=/... become c:, c:/...
char* convert_drive_form(char* path, int convert_backslashes);
// The drive form alone, backslashes kept, for any path that begins with a
// separator, whatever slash_drive_form says.
char* convert_drive_form_only(char* path);

// Whether `path`, as normalise_path would leave it, names a root (/, c:/,
// //server/share), a drive's current directory (c:) or ends in the component .
// or ..: names of no entry that a removal may take away. Trailing separators
// do not count.
bool is_root_or_dot_name(const char* path);

// Length of c: or of //server/share, or -1 when the path has no such prefix.
int root_prefix_length(const char* path);

char* getcwd(char* buffer, std::size_t size);
// A copy (caller frees) of the current directory of drive `letter`, X:/ if unknown.
char* drive_directory(int letter);
// The current directory of `drive` ("c:"), or getcwd's when `drive` is null.
char* drive_getcwd(const char* drive, char* buffer, std::size_t size);
int chdir(const char* path);
// Sets the environment variable and its drive_directory_list entry: 1, or 0.
int set_drive_directory(const char* name, const char* value);

// The canonical absolute form of `path` (normalised in place first), relative to
// `base` when one is given: 0, or -1 with errno_ set.
int absolute_name(const char* base, char* path, char* buffer, std::size_t size);
// A copy (caller frees) with each component spelled as the file system stores it.
char* true_case_path(const char* path);
// Normalises; on Windows 95/98 writes //server/share as \\server\share.
char* unc_for_win95(char* path);

// The root directory of the path's volume, with backslashes: 1, or 0 with the
// last error set.
int volume_root(const char* path, char* buffer, std::size_t size);
BOOL volume_information(const char* path, LPSTR volume_name, DWORD volume_name_size,
                        LPDWORD serial_number, LPDWORD maximum_component_length,
                        LPDWORD file_system_flags, LPSTR file_system_name,
                        DWORD file_system_name_size);

// Bit set of file_system_type: names on the volume are folded to lower case.
inline constexpr int fold_names_to_lower_case = 0x80;
int file_system_type(const char* path);

}  // namespace zav
