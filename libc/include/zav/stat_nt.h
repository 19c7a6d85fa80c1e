// File status over the Win32 types: the wide core and the steps that directory
// streams share with it. For the runtime's own use.
#pragma once

#include <windows.h>

#include <cstddef>
#include <ctime>

#include <zav/stat.h>

namespace zav {

// 1 on Windows 95/98, 0 on Windows NT, -1 until the first stat_core call.
extern int is_windows_95;

// Status modes of stat_core: bit values, summed.
inline constexpr int STATUS_NO_FOLLOW = 1;
inline constexpr int STATUS_SIZE64 = 2;

// With STATUS_SIZE64 the record must be a struct stat64_.
int stat_core(const WCHAR* path, struct stat* record, int mode);
int stat_w(const WCHAR* path, struct stat* record);

// Room a path buffer needs beyond the path for get_file_info: a backslash and a NUL.
inline constexpr std::size_t FILE_INFO_PATH_SLACK = 2;

// Fills `info` for `path`. On Windows NT a directory's path gets a trailing
// backslash, so `capacity` (in wide characters) must be at least the path's
// length plus FILE_INFO_PATH_SLACK; a smaller buffer fails with ENAMETOOLONG.
int get_file_info(WCHAR* path, std::size_t capacity, BY_HANDLE_FILE_INFORMATION* info);
void find_data_to_file_info(const WIN32_FIND_DATAW* find_data, BY_HANDLE_FILE_INFORMATION* info);
void file_info_to_stat(const BY_HANDLE_FILE_INFORMATION* info, struct stat* record, int mode);
time_t filetime_to_time_t(const FILETIME* file_time);
int drive_number_of_path(const WCHAR* path);

// The print name of a name-surrogate reparse point. `size` bounds the name's
// length in bytes; `buffer` holds at least size / 2 + 1 wide characters. Returns
// its length in characters, 0 (errno_ set, empty string) for a link without a
// usable print name, or -1.
int readlink_w(const WCHAR* path, WCHAR* buffer, int size);

}  // namespace zav
