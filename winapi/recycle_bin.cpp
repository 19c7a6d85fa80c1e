// SHFileOperationA and W: FO_DELETE. With FOF_ALLOWUNDO a file goes into the
// freedesktop.org trash, where file managers, gio and trash-cli find and restore
// it: the home trash for files on its file system, the volume's own trash
// directory for the others. A file that no trash can take stays where it is:
// it is never copied across file systems.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <shellapi.h>

#include "directory_reader.h"
#include "error_mapping.h"
#include "fs_common.h"
#include "handle_table.h"
#include "held_directories.h"

namespace winapi {
namespace {

// The Win32 code SHFileOperationA answers with for a host errno.
int failure(int host_errno) { return static_cast<int>(win32_error_from_errno(host_errno, Call::generic)); }

int failure(int host_errno, const EntryPath& entry) { return static_cast<int>(entry.error_for(host_errno, Call::generic)); }

std::string parent_of(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

std::string data_home() {
  // Read at each call: a relative XDG_DATA_HOME is to be ignored.
  const char* setting = std::getenv("XDG_DATA_HOME");
  if (setting && setting[0] == '/') return setting;
  const char* home = std::getenv("HOME");
  std::string base = home && *home ? home : "";
  if (base.empty())
    if (const passwd* entry = ::getpwuid(::getuid())) base = entry->pw_dir;
  return base + "/.local/share";
}

// The device of the path, or of its nearest existing ancestor.
dev_t device_of_nearest(std::string path) {
  struct stat st;
  while (::stat(path.c_str(), &st) != 0) {
    if (path == "/") return 0;
    path = parent_of(path);
  }
  return st.st_dev;
}

bool make_directories(const std::string& path, mode_t mode) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  if (path != "/" && !make_directories(parent_of(path), mode)) return false;
  return ::mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

// A trash directory of ours: a real directory, owned by us.
bool usable_trash(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno != ENOENT || ::mkdir(path.c_str(), 0700) != 0) return false;
    if (::lstat(path.c_str(), &st) != 0) return false;
  }
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
    errno = EACCES;
    return false;
  }
  return true;
}

struct Trash {
  std::string directory;
  std::string topdir;  // empty for the home trash, whose Path= is absolute
};

// The mount point of the file system that holds `directory`.
std::string top_directory(const std::string& directory, dev_t device) {
  std::string top = directory;
  while (top != "/") {
    struct stat st;
    std::string up = parent_of(top);
    if (::stat(up.c_str(), &st) != 0 || st.st_dev != device) break;
    top = up;
  }
  return top;
}

std::optional<Trash> trash_for(const std::string& real_parent, dev_t device, int* error) {
  const std::string home_trash = data_home() + "/Trash";
  if (device_of_nearest(home_trash) == device) {
    if (!make_directories(home_trash + "/files", 0700) || !make_directories(home_trash + "/info", 0700)) {
      *error = errno;
      return std::nullopt;
    }
    return Trash{home_trash, {}};
  }
  const std::string top = top_directory(real_parent, device);
  const std::string base = top == "/" ? "" : top;
  const std::string uid = std::to_string(::getuid());
  std::optional<std::string> chosen;
  struct stat st;
  const std::string shared = base + "/.Trash";
  // The shared .Trash counts only as a real sticky directory: anything else
  // could be a trap set by another user.
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
      usable_trash(shared + "/" + uid))
    chosen = shared + "/" + uid;
  if (!chosen) {
    std::string own = base + "/.Trash-" + uid;
    if (!usable_trash(own)) {
      *error = errno;
      return std::nullopt;
    }
    chosen = own;
  }
  for (const char* sub : {"/files", "/info"}) {
    std::string path = *chosen + sub;
    if ((::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) || ::lstat(path.c_str(), &st) != 0 ||
        !S_ISDIR(st.st_mode)) {
      *error = errno == EEXIST ? ENOTDIR : errno;
      return std::nullopt;
    }
  }
  return Trash{*chosen, top};
}

std::string percent_encoded(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || std::strchr("-_.~/", c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string deletion_date() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

// "name", then "name.2", "report.3.txt": the extension stays last for file managers.
std::string candidate(const std::string& name, int attempt) {
  if (attempt == 1) return name;
  auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name + "." + std::to_string(attempt);
  return name.substr(0, dot) + "." + std::to_string(attempt) + name.substr(dot);
}

// The entry is renamed from the directory it was found in into the trash's
// files/ directory, which is opened once for the move.
int move_to_trash(const EntryPath& entry, const struct stat& st) {
  // Where the file is recorded to have been, and which trash takes it, are read
  // from the directory's real path; the move itself is made from the directory.
  const std::string name(entry.last_component());
  char real[PATH_MAX];
  const std::string real_parent = ::realpath(parent_of(entry.key()).c_str(), real) ? real : parent_of(entry.key());
  const std::string original = (real_parent == "/" ? "" : real_parent) + "/" + name;
  int error = 0;
  auto trash = trash_for(real_parent, st.st_dev, &error);
  if (!trash) return failure(error);

  std::string recorded = original;
  if (!trash->topdir.empty() && trash->topdir != "/") recorded = original.substr(trash->topdir.size() + 1);
  else if (!trash->topdir.empty()) recorded = original.substr(1);
  const std::string record =
      "[Trash Info]\nPath=" + percent_encoded(recorded) + "\nDeletionDate=" + deletion_date() + "\n";
  const std::string files = trash->directory + "/files";
  int files_fd = ::open(files.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (files_fd < 0) return failure(errno);

  int result = failure(EEXIST);
  for (int attempt = 1; attempt <= 10000; ++attempt) {
    const std::string stored = candidate(name, attempt);
    const std::string info = trash->directory + "/info/" + stored + ".trashinfo";
    // The info file is made first and exclusively: it reserves the name.
    int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      result = failure(errno);
      break;
    }
    struct stat taken;
    if (::fstatat(files_fd, stored.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {  // a stray file without its record
      ::close(fd);
      ::unlink(info.c_str());
      continue;
    }
    bool written = ::write(fd, record.data(), record.size()) == static_cast<ssize_t>(record.size());
    int write_error = errno;
    if (::close(fd) != 0 && written) {
      written = false;
      write_error = errno;
    }
    if (!written) {
      ::unlink(info.c_str());
      result = failure(write_error ? write_error : ENOSPC);
      break;
    }
    if (::renameat(entry.at(), entry.name(), files_fd, stored.c_str()) != 0) {
      int rename_error = errno;
      ::unlink(info.c_str());
      result = failure(rename_error, entry);
      break;
    }
    forget_at(entry.key());
    result = 0;
    break;
  }
  ::close(files_fd);
  return result;
}

// A whole tree, each entry removed from the directory it was read in, none followed.
int remove_below(int at, const char* name, const struct stat& st) {
  if (!S_ISDIR(st.st_mode)) return ::unlinkat(at, name, 0) == 0 ? 0 : errno;
  int fd = ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = 0;
  {
    DirectoryReader names(fd);
    while (const char* entry = names.next()) {
      if (std::strcmp(entry, ".") == 0 || std::strcmp(entry, "..") == 0) continue;
      struct stat below;
      int result = ::fstatat(fd, entry, &below, AT_SYMLINK_NOFOLLOW) == 0 ? remove_below(fd, entry, below) : errno;
      if (result != 0 && error == 0) error = result;
    }
    if (errno != 0 && error == 0) error = errno;
  }
  ::close(fd);
  if (error != 0) return error;
  return ::unlinkat(at, name, AT_REMOVEDIR) == 0 ? 0 : errno;
}

int delete_for_good(const EntryPath& entry, const struct stat& st) {
  int error = remove_below(entry.at(), entry.name(), st);
  if (error != 0) return failure(error, entry);
  if (S_ISDIR(st.st_mode)) forget_at(entry.key());
  return 0;
}

int delete_one(const char* name, FILEOP_FLAGS flags) {
  EntryPath entry;
  if (!resolve_entry(name, &entry)) return static_cast<int>(GetLastError());
  struct stat st;
  if (::fstatat(entry.at(), entry.name(), &st, AT_SYMLINK_NOFOLLOW) != 0) return failure(errno, entry);
  if (!sharing_allows(st.st_dev, st.st_ino, access_delete, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
    return failure(ETXTBSY);
  return (flags & FOF_ALLOWUNDO) ? move_to_trash(entry, st) : delete_for_good(entry, st);
}

// What both forms do once the names are in the file code page.
int operate(UINT function, FILEOP_FLAGS flags, const std::vector<std::string>& names, BOOL* aborted) {
  *aborted = FALSE;
  if (function != FO_DELETE) return failure(EOPNOTSUPP);
  for (const auto& name : names) {
    int result = delete_one(name.c_str(), flags);
    if (result != 0) return result;
  }
  return 0;
}

}  // namespace
}  // namespace winapi

extern "C" {

// pFrom is a list of names, each ending in a NUL, the list in a second one.
int WINAPI SHFileOperationA(LPSHFILEOPSTRUCTA lpFileOp) {
  if (!lpFileOp || !lpFileOp->pFrom) return ERROR_INVALID_PARAMETER;
  std::vector<std::string> names;
  for (const char* name = lpFileOp->pFrom; *name; name += std::strlen(name) + 1) names.emplace_back(name);
  return winapi::operate(lpFileOp->wFunc, lpFileOp->fFlags, names, &lpFileOp->fAnyOperationsAborted);
}

int WINAPI SHFileOperationW(LPSHFILEOPSTRUCTW lpFileOp) {
  if (!lpFileOp) return ERROR_INVALID_PARAMETER;
  if (!winapi::wide_argument_usable(lpFileOp->pFrom)) return static_cast<int>(GetLastError());
  std::vector<std::string> names;
  for (LPCWSTR name = lpFileOp->pFrom; *name; name += std::char_traits<WCHAR>::length(name) + 1)
    names.push_back(winapi::narrow(name));
  return winapi::operate(lpFileOp->wFunc, lpFileOp->fFlags, names, &lpFileOp->fAnyOperationsAborted);
}

}  // extern "C"
