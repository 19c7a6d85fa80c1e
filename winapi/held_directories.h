// How a name becomes the directory a call acts relative to and the entry's last
// component, and the directories the layer holds open while calls name entries
// below them (the listings in progress and the directories a walk works in).
#pragma once

#include <fcntl.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

#include <windows.h>

#include "error_mapping.h"

namespace winapi {

// An open directory and the absolute host path it was opened by.
struct HeldDirectory {
  HeldDirectory(std::string key, int fd, dev_t device, ino_t inode)
      : key(std::move(key)), fd(fd), device(device), inode(inode) {}
  HeldDirectory(const HeldDirectory&) = delete;
  HeldDirectory& operator=(const HeldDirectory&) = delete;
  ~HeldDirectory();

  const std::string key;
  const int fd;
  const dev_t device;
  const ino_t inode;
};

// A name resolved for one call: the entry is `name()` relative to `at()`. Below
// a held directory `at()` is that directory and `name()` the rest of the path,
// one component for every entry a walk names; otherwise `at()` is AT_FDCWD and
// the host looks the name up as the user typed it. Calls act on the last
// component without following it.
class EntryPath {
 public:
  EntryPath() = default;
  EntryPath(const EntryPath&) = delete;
  EntryPath& operator=(const EntryPath&) = delete;

  int at() const { return held_ ? held_->fd : AT_FDCWD; }
  const char* name() const { return name_.c_str(); }
  // Absolute, without "." and ".." steps, repeated separators or a trailing one.
  const std::string& key() const { return key_; }
  std::string_view last_component() const;
  bool below_held() const { return held_ != nullptr; }
  // "dir\" names a directory: a file of that name is an invalid name.
  bool refuses(mode_t mode) const { return trailing_separator_ && !S_ISDIR(mode) && !S_ISLNK(mode); }

  // The Win32 code for a failure on this entry: a missing entry and a missing
  // or unusable directory on the way are told apart here, where the look-up is.
  DWORD error_for(int host_errno, Call call) const;
  template <typename T>
  T fail(int host_errno, Call call, T result) const {
    SetLastError(error_for(host_errno, call));
    return result;
  }

  // A descriptor of the directory that holds the entry, for the caller to keep
  // and close; -1 with errno set.
  int open_directory() const;

 private:
  friend bool resolve_host_path(std::string_view host_path, EntryPath* entry);
  friend std::shared_ptr<HeldDirectory> hold_for_listing(const EntryPath& directory, struct statx* status,
                                                         DWORD* error);
  std::shared_ptr<HeldDirectory> held_;
  std::string name_;
  std::string key_;
  bool trailing_separator_ = false;
};

// False, with the last error set, when the name has no host path.
bool resolve_entry(const char* windows_name, EntryPath* entry);
bool resolve_host_path(std::string_view host_path, EntryPath* entry);

// Opens the directory a listing reads and holds it while calls name entries
// below it. Below a held directory, or when a look-up has just described the
// name as a directory, the last component is not followed, and the directory
// opened must be the one described. Null with *error set otherwise.
std::shared_ptr<HeldDirectory> hold_for_listing(const EntryPath& directory, struct statx* status, DWORD* error);

// The layer removed, renamed or made the entry `key`: what it holds or has
// described at or below that name goes with it.
void forget_at(std::string_view key);

// What a look-up has just described of an entry, so that a listing of it that
// follows finds the same directory.
void note_described(const std::string& key, dev_t device, ino_t inode, mode_t mode);

// For a call without an EntryPath: ENOENT and ENOTDIR of a host path told apart
// by a look at its directory.
DWORD lookup_error(int host_errno, Call call, const std::string& host_path);
template <typename T>
T fail_lookup(int host_errno, Call call, T result, const std::string& host_path) {
  SetLastError(lookup_error(host_errno, call, host_path));
  return result;
}

}  // namespace winapi
