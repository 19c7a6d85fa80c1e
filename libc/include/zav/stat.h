// File status: struct stat from Win32 attributes and find data.
//
// Names that are macros in a C library we build with take a trailing underscore:
// the S_IF* and S_IS* bits (glibc and mingw), st_atime, st_mtime and st_ctime
// (glibc), and stat64 (mingw).
#pragma once

#include <cstdint>

namespace zav {

using time32_t = int32_t;

struct stat {
  int32_t st_dev;     // drive number: 1 for A to 26 for Z, 0 for a UNC name
  uint32_t st_ino;    // 3 for entries described by find data
  uint32_t st_mode;
  int16_t st_nlink;
  int16_t st_uid;     // always 0
  int16_t st_gid;     // always 0
  int32_t st_rdev;    // never set
  int32_t st_size;    // -1 when the size needs more than 32 bits
  time32_t st_atime_;
  time32_t st_mtime_;
  time32_t st_ctime_;
};

struct stat64_ : stat {
  uint64_t st_size64;
};

inline constexpr uint32_t S_IFMT_ = 0xF000;
inline constexpr uint32_t S_IFLNK_ = 0xA000;
inline constexpr uint32_t S_IFREG_ = 0x8000;
inline constexpr uint32_t S_IFDIR_ = 0x4000;
inline constexpr uint32_t S_ISUID_ = 0x800;  // hidden
inline constexpr uint32_t S_ISGID_ = 0x400;  // system
inline constexpr uint32_t S_ISVTX_ = 0x200;  // archive

inline constexpr uint32_t S_ATTR_READONLY = 0x10000;
inline constexpr uint32_t S_ATTR_OFFLINE = 0x20000;
inline constexpr uint32_t S_ATTR_TEMPORARY = 0x40000;
inline constexpr uint32_t S_ATTR_COMPRESSED = 0x80000;
inline constexpr uint32_t S_ATTR_SPARSE = 0x100000;

// Each returns 0, or -1 with errno_ set. The l forms describe a link itself.
int stat(const char* path, struct stat* record);
int lstat(const char* path, struct stat* record);
int stat64_(const char* path, struct stat64_* record);
int lstat64(const char* path, struct stat64_* record);

}  // namespace zav
