// FindFirstFile/FindNextFile. A listing reads its directory from the descriptor
// it holds open (held_directories.cpp) and describes each entry relative to it:
// one statx, a second look for links, and one user.DOSATTRIB read while the file
// system keeps extended attributes. A search for one name describes that entry.
#include "directory_reader.h"
#include "entry_status.h"
#include "error_mapping.h"
#include "fs_common.h"
#include "held_directories.h"
#include "name_mask.h"
#include "paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <sys/sysmacros.h>

namespace winapi {
namespace {

struct Entry {
  std::string name;  // as the caller sees it
  EntryStatus status;
};

struct Search {
  std::shared_ptr<HeldDirectory> directory;  // of a listing
  std::unique_ptr<DirectoryReader> names;
  std::string mask;
  struct statx own {};  // the directory's, for "."
  int dots_left = 0;  // "." and ".." still to offer
  bool xattrs = true;
  int read_error = 0;  // of a reading that failed part-way: the listing ends there with it
};

std::mutex search_mutex;
std::set<Search*> searches;  // guarded by search_mutex

bool is_dot_or_dot_dot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool next_entry(Search* search, Entry* entry) {
  const int fd = search->directory->fd;
  while (search->dots_left > 0) {
    const char* dot = search->dots_left-- == 2 ? "." : "..";
    if (!mask_takes(search->mask, dot)) continue;
    entry->name = dot;
    if (dot[1] == '\0') {
      describe_directory(fd, search->own, &entry->status, &search->xattrs);
      return true;
    }
    if (describe_entry(fd, dot, &entry->status, &search->xattrs)) return true;
  }
  while (const char* name = search->names->next()) {
    if (is_dot_or_dot_dot(name) || !mask_takes(search->mask, name)) continue;
    // Gone between the reading and the look: the listing goes on without it.
    if (!describe_entry(fd, name, &entry->status, &search->xattrs)) continue;
    entry->name.clear();
    append_windows_name(name, &entry->name);
    return true;
  }
  search->read_error = errno;
  return false;
}

HANDLE register_search(std::unique_ptr<Search> search) {
  std::lock_guard guard(search_mutex);
  searches.insert(search.get());
  return search.release();
}

Search* find_search(HANDLE handle) {
  auto* search = static_cast<Search*>(handle);
  std::lock_guard guard(search_mutex);
  return searches.count(search) ? search : nullptr;
}

HANDLE fail_with(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

HANDLE first(LPCSTR pattern, Entry* entry) {
  if (!pattern) return fail_with(ERROR_INVALID_PARAMETER);
  if (!*pattern) return fail_with(ERROR_PATH_NOT_FOUND);
  // The name is made whole first, as Windows does: "dir\\." is "dir".
  DWORD error = 0;
  auto full = full_path_name(pattern, &error);
  if (!full) return fail_with(error);
  int host_error = 0;
  auto host = host_path(full->c_str(), &host_error);
  if (!host) return fail(host_error, Call::generic, INVALID_HANDLE_VALUE);
  std::size_t slash = host->rfind('/');
  std::string mask = slash == std::string::npos ? *host : host->substr(slash + 1);
  // A name ending in a separator, or a root, has no entry to find.
  if (mask.empty()) return fail_with(ERROR_FILE_NOT_FOUND);

  if (!has_wildcard(mask)) {
    EntryPath path;
    if (!resolve_host_path(*host, &path)) return INVALID_HANDLE_VALUE;
    if (!describe_entry(path.at(), path.name(), &entry->status))
      return path.fail(errno, Call::generic, INVALID_HANDLE_VALUE);
    const struct statx& x = entry->status.status;
    note_described(path.key(), makedev(x.stx_dev_major, x.stx_dev_minor), x.stx_ino, x.stx_mode);
    entry->name.clear();
    append_windows_name(mask, &entry->name);
    return register_search(std::make_unique<Search>());
  }

  EntryPath directory;
  std::string_view directory_part = slash == std::string::npos ? std::string_view(".") : std::string_view(*host).substr(0, slash + 1);
  if (!resolve_host_path(directory_part, &directory)) return INVALID_HANDLE_VALUE;
  auto search = std::make_unique<Search>();
  search->directory = hold_for_listing(directory, &search->own, &error);
  if (!search->directory) return fail_with(error);
  search->names = std::make_unique<DirectoryReader>(search->directory->fd);
  search->mask = std::move(mask);
  // Drive roots have no "." and ".." entries on Windows.
  search->dots_left = directory.key() == "/" ? 0 : 2;
  if (!next_entry(search.get(), entry)) {
    if (search->read_error) return fail(search->read_error, Call::generic, INVALID_HANDLE_VALUE);
    return fail_with(ERROR_FILE_NOT_FOUND);
  }
  return register_search(std::move(search));
}

template <typename Data>
void fill_common(const Entry& entry, Data* data) {
  const struct statx& x = entry.status.status;
  const DWORD attributes = entry.status.attributes;
  data->dwFileAttributes = attributes;
  data->ftCreationTime = file_time((x.stx_mask & STATX_BTIME) ? x.stx_btime : x.stx_ctime);
  data->ftLastAccessTime = file_time(x.stx_atime);
  data->ftLastWriteTime = file_time(x.stx_mtime);
  const uint64_t size = S_ISREG(x.stx_mode) ? x.stx_size : 0;
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size);
  data->dwReserved0 = !S_ISLNK(x.stx_mode)                   ? 0
                      : (attributes & FILE_ATTRIBUTE_DIRECTORY) ? IO_REPARSE_TAG_MOUNT_POINT
                                                                : IO_REPARSE_TAG_SYMLINK;
  data->dwReserved1 = 0;
  data->cAlternateFileName[0] = 0;
}

void fill(const Entry& entry, WIN32_FIND_DATAA* data) {
  fill_common(entry, data);
  std::size_t n = std::min(entry.name.size(), std::size_t{MAX_PATH - 1});
  std::memcpy(data->cFileName, entry.name.data(), n);
  data->cFileName[n] = 0;
}

void fill(const Entry& entry, WIN32_FIND_DATAW* data) {
  fill_common(entry, data);
  std::u16string wide = widen(entry.name);
  std::size_t n = std::min(wide.size(), std::size_t{MAX_PATH - 1});
  std::memcpy(data->cFileName, wide.data(), n * sizeof(WCHAR));
  data->cFileName[n] = 0;
}

template <typename Data>
BOOL next(HANDLE handle, Data* data) {
  Search* search = find_search(handle);
  if (!search) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Entry entry;
  if (!search->directory || !next_entry(search, &entry)) {
    if (search->read_error) return fail(search->read_error, Call::generic, FALSE);
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  fill(entry, data);
  return TRUE;
}

}  // namespace
}  // namespace winapi

using namespace winapi;

extern "C" {

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  Entry entry;
  HANDLE handle = first(lpFileName, &entry);
  if (handle != INVALID_HANDLE_VALUE) fill(entry, lpFindFileData);
  return handle;
}

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  auto name = narrow_argument(lpFileName);
  if (!name) return INVALID_HANDLE_VALUE;
  Entry entry;
  HANDLE handle = first(name->c_str(), &entry);
  if (handle != INVALID_HANDLE_VALUE) fill(entry, lpFindFileData);
  return handle;
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  return next(hFindFile, lpFindFileData);
}

BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
  if (wide_calls_missing()) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  return next(hFindFile, lpFindFileData);
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  auto* search = static_cast<Search*>(hFindFile);
  {
    std::lock_guard guard(search_mutex);
    if (!searches.erase(search)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  delete search;
  return TRUE;
}

}  // extern "C"
