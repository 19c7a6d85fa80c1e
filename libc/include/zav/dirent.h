// Directory streams over the Win32 directory search, in the narrow character set,
// and the status of the entry last read, taken from the search data the stream
// already holds.
#pragma once

#include <windows.h>

#include <zav/stat.h>

namespace zav {

struct dirent {
  char d_name[256];
};

// Room for a directory path of 256 characters, its separator, the "*.*" of the
// first search and the terminator.
inline constexpr int DIR_PATH_CAPACITY = 261;

struct DIR {
  HANDLE search;  // INVALID_HANDLE_VALUE until the first readdir
  WIN32_FIND_DATAA data;
  int position;   // entries read so far
  struct dirent entry;
  int fold_case;  // non-zero: names are returned in lower case
  char path[DIR_PATH_CAPACITY];  // normalised, followed by a separator
  int prefix_length;             // of `path`, separator included
  int drive;  // st_dev of every entry, once dirstat has found it; -1 before
  bool ascii_prefix;  // `path` up to its separator is plain ASCII, which always widens
};

DIR* opendir(const char* path);
// Null at the end of the directory (errno_ 0) or on a failure (errno_ set).
struct dirent* readdir(DIR* dir);
int closedir(DIR* dir);

// The status of the entry readdir returned last; `mode` is the sum of the
// stat_core bits (1 do not follow links, 2 fill st_size64, which needs a stat64_).
int dirstat(DIR* dir, struct stat* record, int mode);
int dir_stat(DIR* dir, struct stat* record);         // mode 0
int dir_lstat(DIR* dir, struct stat* record);        // mode 1
int dir_stat64(DIR* dir, struct stat64_* record);    // mode 2
int dir_lstat64(DIR* dir, struct stat64_* record);   // mode 3

}  // namespace zav
