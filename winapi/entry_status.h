// What the layer reports of an entry: its status, never following it, and its
// attributes as Windows shows them. Read-only is the absence of the owner's write
// permission; hidden, system and archive live in user.DOSATTRIB ("0x22", the form
// Samba and Wine write); a dot name is hidden too.
#pragma once

#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>

#include <windows.h>

namespace winapi {

constexpr DWORD dos_bits = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
constexpr unsigned status_mask = STATX_BASIC_STATS | STATX_BTIME;

struct EntryStatus {
  struct statx status;
  bool target_is_directory = false;  // for a link
  DWORD attributes = 0;
};

// The entry `name` relative to the directory `at`. With `xattrs` given,
// user.DOSATTRIB is asked for only while *xattrs holds, and *xattrs drops to
// false on a file system without extended attributes. False with errno set.
bool describe_entry(int at, const char* name, EntryStatus* entry, bool* xattrs = nullptr);

// An open directory, from the status taken when it was opened ("." of a listing).
void describe_directory(int fd, const struct statx& status, EntryStatus* entry, bool* xattrs);

// The attributes of the file behind a descriptor.
DWORD attributes_of_descriptor(int fd, mode_t mode, bool target_is_directory, std::string_view name);

// Linux keeps user.* attributes on files and directories only: links, pipes,
// sockets and devices have no DOS attributes.
bool keeps_dos_attribute(mode_t mode);

// Whether `status` is an entry seen without user.DOSATTRIB since when its change
// time has stayed the same: setting the attribute would have changed it.
bool known_without_dos_attribute(const struct statx& status);

// Writes the DOS bits of `bits` to the file behind `fd` (O_PATH will do); none
// removes the attribute. False with errno set; a file system without extended
// attributes drops them, as Wine does.
bool write_dos_attribute(int fd, DWORD bits);

FILETIME file_time(const struct timespec& time);
inline FILETIME file_time(const struct statx_timestamp& time) { return file_time(timespec{time.tv_sec, time.tv_nsec}); }

}  // namespace winapi
