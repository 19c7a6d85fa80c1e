// open and fcntl.
#pragma once

#include <cstdint>

namespace zav {

inline constexpr int O_RDONLY_ = 0;
inline constexpr int O_WRONLY_ = 1;
inline constexpr int O_RDWR_ = 2;
inline constexpr int O_APPEND_ = 8;
inline constexpr int O_TEMPORARY_ = 16;  // delete on close
inline constexpr int O_CREAT_ = 512;
inline constexpr int O_TRUNC_ = 1024;
inline constexpr int O_EXCL_ = 2048;

inline constexpr int F_DUPFD_ = 0;
inline constexpr int F_GETFD_ = 1;
inline constexpr int F_SETFD_ = 2;
inline constexpr int F_GETFL_ = 3;
inline constexpr int F_SETFL_ = 4;
inline constexpr int F_GETLK_ = 5;
inline constexpr int F_SETLK_ = 6;
inline constexpr int F_SETLKW_ = 7;
inline constexpr int FD_CLOEXEC_ = 1;

inline constexpr short F_RDLCK_ = 1;
inline constexpr short F_WRLCK_ = 2;
inline constexpr short F_UNLCK_ = 3;

struct flock {
  int16_t l_type;
  int16_t l_whence;
  int32_t l_start;
  int32_t l_len;
};

int open(const char* path, int flags, int mode = 0);
int fcntl(int fd, int cmd, intptr_t arg = 0);
int fcntl(int fd, int cmd, flock* lock);

// The process umask applied to the mode of files that open creates.
extern int umask_value;

}  // namespace zav
