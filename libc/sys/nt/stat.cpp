// stat, lstat and their variants: a POSIX view of a directory entry built from
// its Win32 file information, following links for stat.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <ctime>

#include <zav/errno.h>
#include <zav/path.h>
#include <zav/stat.h>
#include <zav/stat_nt.h>
#include <zav/stdlib.h>
#include <zav/wide.h>
#include <zav/windows_version.h>

namespace zav {

int is_windows_95 = -1;

namespace {

// A full path of up to MAX_PATH - 1 characters, the backslash get_file_info may
// append, and the terminator.
constexpr std::size_t full_path_capacity = MAX_PATH + 1;

// Windows itself gives up on a chain of reparse points after 63 hops.
constexpr int max_link_hops = 63;

uint32_t mode_from_attributes(DWORD attributes) {
  uint32_t mode;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    mode = S_IFLNK_;
  } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    mode = S_IFDIR_;
  } else {
    mode = S_IFREG_;
  }
  mode |= 0777;
  if (attributes & FILE_ATTRIBUTE_READONLY) mode &= ~uint32_t{0222};

  struct attribute_bit {
    DWORD attribute;
    uint32_t bit;
  };
  static constexpr attribute_bit bits[] = {
      {FILE_ATTRIBUTE_SYSTEM, S_ISGID_},
      {FILE_ATTRIBUTE_HIDDEN, S_ISUID_},
      {FILE_ATTRIBUTE_ARCHIVE, S_ISVTX_},
      {FILE_ATTRIBUTE_READONLY, S_ATTR_READONLY},
      {FILE_ATTRIBUTE_OFFLINE, S_ATTR_OFFLINE},
      {FILE_ATTRIBUTE_TEMPORARY, S_ATTR_TEMPORARY},
      {FILE_ATTRIBUTE_COMPRESSED, S_ATTR_COMPRESSED},
      {FILE_ATTRIBUTE_SPARSE_FILE, S_ATTR_SPARSE},
  };
  for (const attribute_bit& b : bits) {
    if (attributes & b.attribute) mode |= b.bit;
  }
  return mode;
}

bool filetime_is_zero(const FILETIME& t) { return t.dwLowDateTime == 0 && t.dwHighDateTime == 0; }

// Follows the links from the entry that `info` describes, rewriting `full`
// (full_path_capacity characters) and `info` at each; under STATUS_NO_FOLLOW it
// stops at the first, which counts as no link when it has no usable target.
// 0, or -1 with errno_ set.
int follow_links(WCHAR* full, BY_HANDLE_FILE_INFORMATION* info, int mode) {
  for (int hops = 0; info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT; ++hops) {
    if (hops == max_link_hops) {
      SetLastError(ERROR_CANT_RESOLVE_FILENAME);
      return set_errno_from_last_error();
    }
    WCHAR target[MAX_PATH] = {};
    const int r = readlink_w(full, target, MAX_PATH);
    if (r < 0) return -1;
    if (mode & STATUS_NO_FOLLOW) {
      if (r == 0) info->dwFileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT);
      return 0;
    }
    // readlink_w bounds the target by MAX_PATH bytes, so it fits with room to spare.
    std::memcpy(full, target, static_cast<std::size_t>(r) * sizeof(WCHAR));
    full[r] = 0;
    if (get_file_info(full, full_path_capacity, info) != 0) return -1;
  }
  return 0;
}

}  // namespace

void file_info_to_stat(const BY_HANDLE_FILE_INFORMATION* info, struct stat* record, int mode) {
  record->st_dev = 0;
  record->st_ino = info->nFileIndexLow;
  const int16_t links = static_cast<int16_t>(info->nNumberOfLinks & 0xFFFF);
  record->st_nlink = links == 0 ? 1 : links;
  record->st_size = info->nFileSizeHigh != 0 ? -1 : static_cast<int32_t>(info->nFileSizeLow);
  if (mode & STATUS_SIZE64) {
    static_cast<struct stat64_*>(record)->st_size64 =
        (static_cast<uint64_t>(info->nFileSizeHigh) << 32) | info->nFileSizeLow;
  }
  record->st_mode = mode_from_attributes(info->dwFileAttributes);

  const FILETIME written = info->ftLastWriteTime;
  const FILETIME accessed = filetime_is_zero(info->ftLastAccessTime) ? written : info->ftLastAccessTime;
  const FILETIME created = filetime_is_zero(info->ftCreationTime) ? written : info->ftCreationTime;
  record->st_atime_ = static_cast<time32_t>(filetime_to_time_t(&accessed));
  record->st_ctime_ = static_cast<time32_t>(filetime_to_time_t(&created));
  record->st_mtime_ = static_cast<time32_t>(filetime_to_time_t(&written));
  record->st_uid = 0;
  record->st_gid = 0;
}

int drive_number_of_path(const WCHAR* path) {
  auto drive_number = [](WCHAR c) -> int {
    if (c >= 'a' && c <= 'z') return c - 'a' + 1;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 1;
    return 0;
  };
  if (path[0] != 0 && path[1] == ':') return drive_number(path[0]);
  if (is_separator(path[0]) && is_separator(path[1])) return 0;

  WCHAR current[MAX_PATH];
  const DWORD n = get_current_directory_w(MAX_PATH, current);
  if (n == 0) return set_errno_from_last_error();
  if (n >= MAX_PATH) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return set_errno_from_last_error();
  }
  if (current[1] != ':') return 0;
  WCHAR c = current[0];
  if (c >= 'a' && c <= 'z') c = static_cast<WCHAR>(c - 'a' + 'A');
  return c - 0x40;
}

int stat_core(const WCHAR* path, struct stat* record, int mode) {
  if (is_windows_95 < 0) is_windows_95 = running_on_windows_95() ? 1 : 0;
  if (path == nullptr) return fail_with(EINVAL_);
  if (path[0] == 0) return fail_with(ENOENT_);

  WCHAR full[full_path_capacity];
  SetLastError(ERROR_INVALID_NAME);
  const DWORD n = get_full_path_name_w(path, MAX_PATH, full, nullptr);
  if (n == 0) return set_errno_from_last_error();
  // A count that is not below the buffer's size is the size the name would need.
  if (n >= MAX_PATH) return fail_with(ENAMETOOLONG_);

  std::size_t len = n;
  if (is_windows_95 == 1) {
    if (path[1] != ':' && len >= 4 && full[1] == ':' && is_separator(full[2]) && is_separator(full[3])) {
      std::memmove(full, full + 2, (len - 1) * sizeof(WCHAR));
      len -= 2;
    }
    while (len > 3 && is_separator(full[len - 1])) full[--len] = 0;
  }

  BY_HANDLE_FILE_INFORMATION info;
  if (get_file_info(full, full_path_capacity, &info) != 0 || follow_links(full, &info, mode) != 0) return -1;
  file_info_to_stat(&info, record, mode);
  record->st_dev = drive_number_of_path(full);
  return 0;
}

int stat_w(const WCHAR* path, struct stat* record) { return stat_core(path, record, 0); }

namespace {

int narrow_stat(const char* path, struct stat* record, int mode) {
  WCHAR* wide = widen_path(path);
  const int r = stat_core(wide, record, mode);
  free(wide);
  return r;
}

}  // namespace

int stat(const char* path, struct stat* record) { return narrow_stat(path, record, 0); }
int lstat(const char* path, struct stat* record) { return narrow_stat(path, record, STATUS_NO_FOLLOW); }
int stat64_(const char* path, struct stat64_* record) { return narrow_stat(path, record, STATUS_SIZE64); }
int lstat64(const char* path, struct stat64_* record) {
  return narrow_stat(path, record, STATUS_NO_FOLLOW | STATUS_SIZE64);
}

}  // namespace zav
