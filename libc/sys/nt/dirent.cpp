// opendir, readdir, closedir and dirstat over FindFirstFileA and FindNextFileA.
#include <zav/dirent.h>

#include <windows.h>

#include <cstring>

#include <zav/errno.h>
#include <zav/path.h>
#include <zav/stat_nt.h>
#include <zav/stdlib.h>
#include <zav/wide.h>

namespace zav {

namespace {

constexpr std::size_t longest_directory_path = 256;
constexpr std::size_t longest_entry_path = 258;
// readlink_w's bound in bytes, and the wide characters that bound needs.
constexpr int link_target_bytes = 521;
constexpr int link_target_capacity = link_target_bytes / 2 + 1;

bool ascii(const char* text, std::size_t length) {
  unsigned char any = 0;
  for (std::size_t i = 0; i < length; ++i) any |= static_cast<unsigned char>(text[i]);
  return any < 0x80;
}

DIR* fail_open(DIR* dir, int code) {
  free(dir);
  errno_ = code;
  return nullptr;
}

}  // namespace

DIR* opendir(const char* path) {
  DIR* dir = static_cast<DIR*>(malloc(sizeof(DIR)));
  if (dir == nullptr) {
    errno_ = ENOMEM_;
    return nullptr;
  }
  std::size_t length = std::strlen(path);
  if (length > longest_directory_path) return fail_open(dir, ENAMETOOLONG_);
  std::memcpy(dir->path, path, length + 1);
  normalise_path(dir->path);
  length = std::strlen(dir->path);

  const DWORD attributes = GetFileAttributesA(dir->path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    set_errno_from_last_error();
    return fail_open(dir, errno_);
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return fail_open(dir, ENOTDIR_);

  // A trail byte is never a slash, so the last byte alone tells.
  const bool bare_drive = length == 2 && has_drive_prefix(dir->path);
  if (!bare_drive && (length == 0 || dir->path[length - 1] != '/')) {
    dir->path[length++] = '\\';
    dir->path[length] = '\0';
  }
  dir->prefix_length = static_cast<int>(length);
  dir->position = 0;
  dir->fold_case = 0;
  dir->search = INVALID_HANDLE_VALUE;
  dir->drive = -1;
  dir->ascii_prefix = ascii(dir->path, length);
  return dir;
}

struct dirent* readdir(DIR* dir) {
  if (dir->position == 0) {
    std::memcpy(dir->path + dir->prefix_length, "*.*", 4);
    dir->search = FindFirstFileA(dir->path, &dir->data);
    dir->path[dir->prefix_length] = '\0';
    if (dir->search == INVALID_HANDLE_VALUE) {
      set_errno_from_last_error();
      if (errno_ == ERROR_NO_MORE_FILES) errno_ = 0;
      return nullptr;
    }
    dir->fold_case = file_system_type(dir->path) & fold_names_to_lower_case;
  } else if (!FindNextFileA(dir->search, &dir->data)) {
    set_errno_from_last_error();
    if (errno_ == ERROR_NO_MORE_FILES) errno_ = 0;
    return nullptr;
  }
  ++dir->position;

  char* name = dir->entry.d_name;
  // The entry name has room for 255 bytes, the search data's name for more.
  const void* end = std::memchr(dir->data.cFileName, '\0', sizeof dir->entry.d_name - 1);
  const std::size_t length = end != nullptr ? static_cast<const char*>(end) - dir->data.cFileName
                                            : sizeof dir->entry.d_name - 1;
  std::memcpy(name, dir->data.cFileName, length);
  name[length] = '\0';
  if (dir->fold_case) fold_to_lower_case(name);
  normalise_path(name);
  return &dir->entry;
}

int closedir(DIR* dir) {
  if (dir->search != INVALID_HANDLE_VALUE) FindClose(dir->search);
  free(dir);
  return 0;
}

int dirstat(DIR* dir, struct stat* record, int mode) {
  const std::size_t name_length = std::strlen(dir->entry.d_name);
  const std::size_t prefix = static_cast<std::size_t>(dir->prefix_length);
  if (prefix + name_length > longest_entry_path) return fail_with(ENAMETOOLONG_);

  const bool link = dir->data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
  // A plain ASCII path always widens, and only a link or the first entry's drive
  // needs the wide form; the tree walk calls this once per entry.
  WCHAR wide[DIR_PATH_CAPACITY];
  if (link || dir->drive < 0 || !dir->ascii_prefix || !ascii(dir->entry.d_name, name_length)) {
    std::memcpy(dir->path + prefix, dir->entry.d_name, name_length + 1);
    const int converted = wide_from_narrow(wide, dir->path, DIR_PATH_CAPACITY);
    dir->path[prefix] = '\0';
    if (converted < 0) return -1;
  }

  if (link) {
    WCHAR target[link_target_capacity];
    const int r = readlink_w(wide, target, link_target_bytes);
    if (r < 0) return -1;
    if (r == 0) {
      dir->data.dwFileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT);
    } else if (!(mode & STATUS_NO_FOLLOW)) {
      // The caller's size bit is kept so that a 64-bit record is filled whole.
      return stat_core(target, record, mode & STATUS_SIZE64);
    }
  }

  // Only the fields that carry over are set: the name alone is 520 bytes.
  WIN32_FIND_DATAW data;
  data.dwFileAttributes = dir->data.dwFileAttributes;
  data.ftCreationTime = dir->data.ftCreationTime;
  data.ftLastAccessTime = dir->data.ftLastAccessTime;
  data.ftLastWriteTime = dir->data.ftLastWriteTime;
  data.nFileSizeHigh = dir->data.nFileSizeHigh;
  data.nFileSizeLow = dir->data.nFileSizeLow;
  BY_HANDLE_FILE_INFORMATION info;
  find_data_to_file_info(&data, &info);
  file_info_to_stat(&info, record, mode);
  // Every entry lies on the directory's drive; for a path without one, finding
  // it means asking for the current directory, which is asked once per stream.
  if (dir->drive < 0) dir->drive = drive_number_of_path(wide);
  record->st_dev = dir->drive;
  return 0;
}

int dir_stat(DIR* dir, struct stat* record) { return dirstat(dir, record, 0); }
int dir_lstat(DIR* dir, struct stat* record) { return dirstat(dir, record, STATUS_NO_FOLLOW); }
int dir_stat64(DIR* dir, struct stat64_* record) { return dirstat(dir, record, STATUS_SIZE64); }
int dir_lstat64(DIR* dir, struct stat64_* record) {
  return dirstat(dir, record, STATUS_NO_FOLLOW | STATUS_SIZE64);
}

}  // namespace zav
