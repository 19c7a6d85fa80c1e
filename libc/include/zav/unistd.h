// Descriptors over Win32 handles.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zav {

// Text mode differs by platform: Windows programs write a line end as CR LF on
// the standard streams and read CR LF back as LF; on POSIX hosts text and binary
// are the same and a line end stays a single LF.
#ifdef _WIN32
inline constexpr bool text_mode_uses_crlf = true;
#else
inline constexpr bool text_mode_uses_crlf = false;
#endif

inline constexpr int SEEK_SET_ = 0;
inline constexpr int SEEK_CUR_ = 1;
inline constexpr int SEEK_END_ = 2;

int isatty(int fd);
int close(int fd);
long read(int fd, void* buf, std::size_t n);
long write(int fd, const void* buf, std::size_t n);
long lseek(int fd, long offset, int whence);
int64_t lseek64(int fd, int64_t offset, int whence);
int dup2(int fd, int newfd);

// Builds the descriptor table from the process's standard handles; -1 when it
// cannot be allocated.
int init_descriptor_table();
// The Win32 handle behind a descriptor, or null for a bad descriptor (errno_ EBADF).
void* descriptor_handle(int fd);
// Gives an existing Win32 handle the lowest free descriptor (for handles the
// runtime did not open itself, such as pipe ends); -1 with EMFILE when the table
// cannot grow.
int install_handle(void* handle);

}  // namespace zav

// Removal of directory entries and reading of links (sys/nt/unlink.cpp,
// recycle_bin.cpp, rename_ex.cpp, readlink.cpp). Each returns -1 with errno_ set
// on failure. rename_ex takes the MoveFileEx flags of <windows.h>.
#include <windows.h>

namespace zav {

// Clear the entry's attributes first and leave them cleared if the removal fails.
int unlink(const char* path);
int rmdir(const char* path);
// Moves a file into the recycle bin through the shell; its attributes stay.
int unlink_to_recycle_bin(const char* path);
// Only the form rename_ex(name, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) is
// supported: the file is deleted at the next system start.
int rename_ex(const char* old_name, const char* new_name, unsigned flags);
// The link's target in at most `size` bytes (not terminated when it fills them).
long readlink(const char* path, char* buffer, std::size_t size);

}  // namespace zav
