// What the find data of a name tell of its entry, with the roots that have none
// and the roots that Windows 95 describes as something else.
#include <windows.h>

#include <cstring>

#include <zav/errno.h>
#include <zav/path.h>
#include <zav/stat_nt.h>
#include <zav/wide.h>

namespace zav {

namespace {

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

}  // namespace zav
