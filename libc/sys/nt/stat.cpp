// stat, lstat and their variants: a POSIX view of a directory entry built from
// its Win32 find data.
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

std::size_t wide_length(const WCHAR* s) {
  std::size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

bool has_wildcard(const WCHAR* s) {
  for (; *s != 0; ++s) {
    if (*s == '?' || *s == '*') return true;
  }
  return false;
}

// Path shapes for which Windows 95 finds something other than the directory
// itself: roots of drives and shares.
bool looks_like_root_on_windows_95(const WCHAR* path) {
  const std::size_t len = wide_length(path);
  int n = 0;
  for (std::size_t i = 0; i < len && n < 5; ++i) {
    if (is_separator(path[i])) ++n;
  }
  const bool drive_root = len >= 3 && path[1] == ':' && is_separator(path[2]);
  const bool double_lead = len >= 2 && is_separator(path[0]) && is_separator(path[1]);
  const bool ends_in_separator = len > 0 && is_separator(path[len - 1]);
  switch (n) {
    case 1:
      return drive_root || (len == 1 && is_separator(path[0]));
    case 2:
      return (len >= 5 && drive_root && ends_in_separator) ||
             (len >= 3 && is_separator(path[0]) && ends_in_separator);
    case 3:
      return len >= 5 && double_lead;
    case 4:
      return len >= 6 && double_lead && ends_in_separator;
    default:
      return false;
  }
}

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

// Years in which mktime of any C library we run on (the Windows one stops
// before 1970 and after 3000; zones kept local mean time until about 1900)
// agrees with plain arithmetic; outside them mktime still decides.
constexpr int first_plain_year = 1971;
constexpr int last_plain_year = 2999;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
constexpr int64_t days_from_civil(int64_t year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

constexpr uint64_t ticks_per_second = 10'000'000;
constexpr int64_t seconds_from_1601_to_1970 = 11'644'473'600;
constexpr uint64_t first_plain_ticks =
    (days_from_civil(first_plain_year, 1, 1) * 86400 + seconds_from_1601_to_1970) * ticks_per_second;
constexpr uint64_t after_plain_ticks =
    (days_from_civil(last_plain_year + 1, 1, 1) * 86400 + seconds_from_1601_to_1970) * ticks_per_second;

bool have_time_zone = false;
TIME_ZONE_INFORMATION time_zone;

}  // namespace

void find_data_to_file_info(const WIN32_FIND_DATAW* find_data, BY_HANDLE_FILE_INFORMATION* info) {
  std::memset(info, 0, sizeof *info);
  info->dwFileAttributes = find_data->dwFileAttributes;
  info->ftCreationTime = find_data->ftCreationTime;
  info->ftLastAccessTime = find_data->ftLastAccessTime;
  info->ftLastWriteTime = find_data->ftLastWriteTime;
  info->nFileSizeHigh = find_data->nFileSizeHigh;
  info->nFileSizeLow = find_data->nFileSizeLow;
  info->nNumberOfLinks = 1;
  info->nFileIndexLow = 3;
}

time_t filetime_to_time_t(const FILETIME* file_time) {
  if (!have_time_zone) {
    if (GetTimeZoneInformation(&time_zone) == TIME_ZONE_ID_INVALID) return set_errno_from_last_error();
    if (time_zone.StandardBias > 1440) time_zone.StandardBias = 0;
    have_time_zone = true;
  }
  // Inside the plain years that count is the file time's own, in seconds from
  // 1970: the calendar fields need not be made. Three times per file status.
  const uint64_t ticks = (static_cast<uint64_t>(file_time->dwHighDateTime) << 32) | file_time->dwLowDateTime;
  if (ticks >= first_plain_ticks && ticks < after_plain_ticks)
    return static_cast<time_t>(ticks / ticks_per_second) - seconds_from_1601_to_1970;
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(file_time, &st)) return set_errno_from_last_error();
  if (st.wYear >= first_plain_year && st.wYear <= last_plain_year) {
    // mktime reads these UTC fields as local standard time and so adds the
    // zone's standard bias (Bias + StandardBias), which is taken off again
    // below: what is left is the fields' own second count. Computed here
    // because the host C library's mktime looks at the zone file on every
    // call, three times per file status.
    return static_cast<time_t>(days_from_civil(st.wYear, st.wMonth, st.wDay) * 86400 + st.wHour * 3600 +
                               st.wMinute * 60 + st.wSecond);
  }
  struct tm tm {};
  tm.tm_year = st.wYear - 1900;
  tm.tm_mon = st.wMonth - 1;
  tm.tm_mday = st.wDay;
  tm.tm_hour = st.wHour;
  tm.tm_min = st.wMinute;
  tm.tm_sec = st.wSecond;
  tm.tm_wday = st.wDayOfWeek;
  tm.tm_isdst = 0;
  const time_t t = mktime(&tm);
  if (t == static_cast<time_t>(-1)) return -1;
  return t - static_cast<time_t>(time_zone.Bias + time_zone.StandardBias) * 60;
}

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

int get_file_info(WCHAR* path, std::size_t capacity, BY_HANDLE_FILE_INFORMATION* info) {
  std::memset(info, 0, sizeof *info);
  if (has_wildcard(path)) return fail_with(ENOENT_);

  WIN32_FIND_DATAW find_data;
  bool synthesised = false;
  HANDLE search = find_first_file_w(path, &find_data);
  if (search == INVALID_HANDLE_VALUE) {
    set_errno_from_last_error();
    const DWORD attributes = get_file_attributes_w(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      if (errno_ == ERROR_NO_MORE_FILES) errno_ = ENOENT_;
      return -1;
    }
    // A root directory (X:\ or \\server\share) has no find data of its own.
    std::memset(&find_data, 0, sizeof find_data);
    find_data.dwFileAttributes = attributes;
    synthesised = true;
  } else {
    FindClose(search);
    if (is_windows_95 == 1 && looks_like_root_on_windows_95(path)) {
      const DWORD attributes = get_file_attributes_w(path);
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        std::memset(&find_data, 0, sizeof find_data);
        find_data.dwFileAttributes = attributes;
      }
    }
  }
  find_data_to_file_info(&find_data, info);

  if (is_windows_95 != 1 && (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    const std::size_t len = wide_length(path);
    if (len == 0 || !is_separator(path[len - 1])) {
      if (len + FILE_INFO_PATH_SLACK > capacity) return fail_with(ENAMETOOLONG_);
      path[len] = '\\';
      path[len + 1] = 0;
    }
  }

  if (synthesised) {
    if (is_windows_95 != 1) {
      HANDLE h = create_file_w(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_NO_RECALL | FILE_ATTRIBUTE_NORMAL,
                               nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION by_handle;
        if (GetFileInformationByHandle(h, &by_handle)) *info = by_handle;
        CloseHandle(h);
      }
    }
    if (info->nFileIndexLow == 3) info->nFileIndexLow = 2;
  }
  return 0;
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
  if (get_file_info(full, full_path_capacity, &info) != 0) return -1;

  for (int hops = 0; info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT; ++hops) {
    if (hops == max_link_hops) {
      SetLastError(ERROR_CANT_RESOLVE_FILENAME);
      return set_errno_from_last_error();
    }
    WCHAR target[MAX_PATH] = {};
    const int r = readlink_w(full, target, MAX_PATH);
    if (r < 0) return -1;
    if (mode & STATUS_NO_FOLLOW) {
      if (r == 0) info.dwFileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT);
      break;
    }
    // readlink_w bounds the target by MAX_PATH bytes, so it fits with room to spare.
    std::memcpy(full, target, static_cast<std::size_t>(r) * sizeof(WCHAR));
    full[r] = 0;
    if (get_file_info(full, full_path_capacity, &info) != 0) return -1;
  }

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
