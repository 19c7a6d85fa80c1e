// tree_walk: a depth-first walk that reports each directory before it is opened
// and again after everything below it, which is the order a removal needs.
//
// Within a directory the non-directories are reported while its stream is open;
// the names of its subdirectories are kept in one growing block of
// null-terminated names and walked after the stream is closed, so at most one
// stream is open at a time. Each entry's status comes from the stream's search
// data, so reading a directory costs no query per entry.
#include <zav/tree_walk.h>

#include <windows.h>

#include <cstring>

#include <zav/dirent.h>
#include <zav/errno.h>
#include <zav/path.h>
#include <zav/stat_nt.h>
#include <zav/stdlib.h>
#include <zav/wide.h>

namespace zav {

int walk_physical = 0;
char* walk_path = nullptr;
walk_function walk_callback = nullptr;
struct stat64_ walk_status;
int walk_entry_length = 0;
int walk_depth = 0;

namespace {

int status_mode = STATUS_SIZE64;
std::size_t path_length = 0;
std::size_t path_capacity = 0;

// Most paths fit at once; deeper ones double the buffer rather than grow it per name.
constexpr std::size_t initial_path_capacity = MAX_PATH;
constexpr std::size_t initial_list_capacity = 256;

int report(struct stat64_* status, int event) {
  return walk_callback(walk_path, status, event, walk_depth);
}

void cut_path(std::size_t length) {
  walk_path[length] = '\0';
  path_length = length;
}

bool reserve_path(std::size_t needed) {
  if (needed <= path_capacity) return true;
  std::size_t capacity = path_capacity * 2;
  if (capacity < needed) capacity = needed;
  char* grown = static_cast<char*>(realloc(walk_path, capacity));
  if (grown == nullptr) return false;
  walk_path = grown;
  path_capacity = capacity;
  return true;
}

bool is_directory(const struct stat& status) { return (status.st_mode & S_IFMT_) == S_IFDIR_; }

bool is_dot_or_dot_dot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Subdirectory names of one directory, to be walked once its stream is closed.
class deferred_list {
 public:
  deferred_list() : names_(static_cast<char*>(malloc(initial_list_capacity))) {
    if (names_ != nullptr) capacity_ = initial_list_capacity;
  }
  ~deferred_list() { free(names_); }
  deferred_list(const deferred_list&) = delete;
  deferred_list& operator=(const deferred_list&) = delete;

  bool usable() const { return names_ != nullptr && !full_; }

  // False, and no further names taken, when the block cannot grow.
  bool add(const char* name) {
    const std::size_t length = std::strlen(name) + 1;
    if (used_ + length > capacity_) {
      std::size_t capacity = capacity_ * 2;
      if (capacity < used_ + length) capacity = used_ + length;
      char* grown = static_cast<char*>(realloc(names_, capacity));
      if (grown == nullptr) {
        full_ = true;
        return false;
      }
      names_ = grown;
      capacity_ = capacity;
    }
    std::memcpy(names_ + used_, name, length);
    used_ += length;
    return true;
  }

  // Offsets rather than pointers: a name is read only after the block stopped growing.
  std::size_t used() const { return used_; }
  const char* at(std::size_t offset) const { return names_ + offset; }

 private:
  char* names_;
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
  bool full_ = false;
};

// The directory the walk works in, held open without delete sharing while the
// walk is below it: no one can rename it or put another directory or a junction
// in its place, which would lead the walk's names outside the tree. A handle
// that shows a reparse point or no directory is not worked in, nor one whose
// creation time is not the one the walk saw when it looked at the name. Windows
// 95/98 has neither junctions nor handles of directories.
class held_directory {
 public:
  held_directory() = default;
  held_directory(const held_directory&) = delete;
  held_directory& operator=(const held_directory&) = delete;
  ~held_directory() { release(); }

  // False with errno_ set when the directory is not held.
  bool hold(const char* path, const struct stat64_& seen) {
    if (is_windows_95 == 1) return true;
    WCHAR* wide = widen_path(path);
    handle_ = create_file_w(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    free(wide);
    if (handle_ == INVALID_HANDLE_VALUE) {
      set_errno_from_last_error();
      return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle_, &info)) {
      set_errno_from_last_error();
      release();
      return false;
    }
    struct stat64_ held;
    file_info_to_stat(&info, &held, STATUS_SIZE64);
    DWORD refusal = 0;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !is_directory(held))
      refusal = ERROR_DIRECTORY;
    else if (held.st_ctime_ != seen.st_ctime_)
      refusal = ERROR_FILE_INVALID;
    if (refusal != 0) {
      release();
      SetLastError(refusal);
      set_errno_from_last_error();
      return false;
    }
    return true;
  }

  void release() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Appends `name` to walk_path and takes its status, from the stream's entry when
// `stream` is given. Returns 0 with the status in walk_status (*have_status set);
// otherwise -1 for no memory, or the callback's answer to WALK_NO_STATUS.
int walk_append(const char* name, DIR* stream, bool* have_status) {
  *have_status = false;
  std::size_t n = path_length;
  const std::size_t name_length = std::strlen(name);
  if (!reserve_path(n + name_length + 2)) return -1;
  // A trail byte is never a slash or a colon, so the last byte alone tells.
  if (n > 0 && walk_path[n - 1] != '/' && walk_path[n - 1] != ':') walk_path[n++] = '/';
  std::memcpy(walk_path + n, name, name_length + 1);
  normalise_path(walk_path + n);
  path_length = n + std::strlen(walk_path + n);

  int r;
  if (stream != nullptr) {
    r = dirstat(stream, &walk_status, status_mode);
  } else {
    r = (status_mode & STATUS_NO_FOLLOW) ? lstat64(walk_path, &walk_status) : stat64_(walk_path, &walk_status);
  }
  if (r != 0) return report(&walk_status, WALK_NO_STATUS);
  walk_entry_length = static_cast<int>(path_length);
  *have_status = true;
  return 0;
}

// The answers at WALK_DIR_PRE and WALK_DIR_OPENED: true when the visit ends at
// once with *result; otherwise *result is raised to 1 for a failure answer.
bool ends_visit(int answer, int* result) {
  switch (answer) {
    case WALK_ABORT:
      *result = -1;
      return true;
    case WALK_PRUNE:
      *result = 0;
      return true;
    case WALK_PRUNE_FAILED:
      *result = 1;
      return true;
    case 1:
      *result = 1;
      return false;
    default:
      return false;
  }
}

int walk_node(const char* name, bool have_status) {
  if (!have_status) {
    bool got = false;
    const int r = walk_append(name, nullptr, &got);
    // An entry whose status is missing is left alone whatever the answer.
    if (!got) return r;
  }
  const std::size_t own_length = path_length;
  if (!is_directory(walk_status)) return report(&walk_status, WALK_NONDIR);

  int result = 0;
  if (ends_visit(report(&walk_status, WALK_DIR_PRE), &result)) return result;

  held_directory held;
  if (!held.hold(walk_path, walk_status)) return report(&walk_status, WALK_DIR_UNREADABLE);
  deferred_list deferred;
  DIR* dir = opendir(walk_path);
  if (dir == nullptr) return report(&walk_status, WALK_DIR_UNREADABLE);
  int answer = 0;
  if (ends_visit(report(&walk_status, WALK_DIR_OPENED), &answer)) {
    closedir(dir);
    return answer;
  }
  if (answer == 1) result = 1;

  struct stat64_ own_status = walk_status;
  errno_ = 0;
  ++walk_depth;

  while (struct dirent* entry = readdir(dir)) {
    const char* entry_name = entry->d_name;
    if (is_dot_or_dot_dot(entry_name)) continue;
    bool got = false;
    int r = walk_append(entry_name, dir, &got);
    if (got) {
      if (!(deferred.usable() && is_directory(walk_status) && deferred.add(entry_name)))
        r = walk_node(entry_name, true);
    }
    if (r == -1) {
      closedir(dir);
      return -1;
    }
    if (r == 1) result = 1;
    cut_path(own_length);
    errno_ = 0;
  }
  if (errno_ != 0) {
    const int r = report(&walk_status, WALK_DIR_UNREADABLE);
    if (r == -1) {
      closedir(dir);
      return -1;
    }
    result = r == 1 ? 1 : 0;
  }
  closedir(dir);

  for (std::size_t at = 0; at < deferred.used(); at += std::strlen(deferred.at(at)) + 1) {
    const int r = walk_node(deferred.at(at), false);
    if (r == -1) return -1;
    if (r == 1) result = 1;
    cut_path(own_length);
  }

  --walk_depth;
  // Its removal comes at this event: the walk no longer holds it.
  held.release();
  if (report(&own_status, WALK_DIR_POST) == 1) result = 1;
  return result;
}

}  // namespace

int tree_walk(const char* path, walk_function callback) {
  walk_depth = 0;
  walk_callback = callback;
  status_mode = walk_physical ? STATUS_NO_FOLLOW | STATUS_SIZE64 : STATUS_SIZE64;

  walk_path = static_cast<char*>(malloc(initial_path_capacity));
  if (walk_path == nullptr) return -1;
  path_capacity = initial_path_capacity;
  cut_path(0);

  const int result = walk_node(path, false);
  free(walk_path);
  walk_path = nullptr;
  path_capacity = 0;
  path_length = 0;
  return result;
}

}  // namespace zav
