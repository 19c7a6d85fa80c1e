// A listing holds its directory open, and the layer keeps it after the listing
// closes: a walk lists a directory, closes it, and then names the entries below
// it (the subdirectories it walks next, each file it removes, and at the end the
// directory itself from its parent). Each such name is resolved from the held
// directory, so an entry is acted on in the directory it was found in, whatever
// another program renames or replaces on the way to it meanwhile.
//
// The held directories form one chain from the first one listed down to the last
// one listed: a new listing drops those below its own parent, so the chain never
// holds more directories than the depth of the walk. A removal or a rename drops
// the directory it takes away.
#include "held_directories.h"

#include "fs_common.h"
#include "paths.h"

#include <cerrno>
#include <climits>
#include <mutex>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace winapi {
namespace {

std::mutex chain_mutex;
std::vector<std::shared_ptr<HeldDirectory>> chain;  // guarded by chain_mutex; each below the one before

struct Described {
  std::string key;
  dev_t device = 0;
  ino_t inode = 0;
  mode_t mode = 0;
};
thread_local Described described;

bool below(std::string_view key, std::string_view directory) {
  if (directory == "/") return key.size() > 1;
  return key.size() > directory.size() && key.starts_with(directory) && key[directory.size()] == '/';
}

// The host path made absolute from the current directory, with "." and ".." taken
// as text, as Windows takes them.
std::string absolute_key(std::string_view host, bool* trailing_separator) {
  std::string key = host.starts_with('/') ? std::string("/") : host_current_directory();
  *trailing_separator = host.size() > 1 && host.back() == '/';
  std::size_t at = 0;
  while (at < host.size()) {
    std::size_t end = host.find('/', at);
    if (end == std::string_view::npos) end = host.size();
    std::string_view part = host.substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      std::size_t slash = key.rfind('/');
      key.resize(slash == 0 ? 1 : slash);
      continue;
    }
    if (key.back() != '/') key += '/';
    key.append(part);
  }
  return key;
}

std::shared_ptr<HeldDirectory> held_above(std::string_view key) {
  std::lock_guard guard(chain_mutex);
  for (std::size_t i = chain.size(); i-- > 0;)
    if (below(key, chain[i]->key)) return chain[i];
  return nullptr;
}

void hold(const std::shared_ptr<HeldDirectory>& directory, const std::shared_ptr<HeldDirectory>& parent) {
  std::lock_guard guard(chain_mutex);
  std::size_t keep = 0;
  for (std::size_t i = chain.size(); i-- > 0;) {
    if (chain[i] == parent) {
      keep = i + 1;
      break;
    }
  }
  chain.resize(keep);
  chain.push_back(directory);
}

}  // namespace

HeldDirectory::~HeldDirectory() { ::close(fd); }

std::string_view EntryPath::last_component() const {
  std::size_t slash = key_.rfind('/');
  return std::string_view(key_).substr(slash + 1);
}

DWORD EntryPath::error_for(int host_errno, Call call) const {
  if (host_errno == ENOENT) {
    std::string_view name(name_);
    std::size_t slash = name.rfind('/');
    if (slash == std::string_view::npos) return ERROR_FILE_NOT_FOUND;
    std::string directory(name.substr(0, slash == 0 ? 1 : slash));
    struct stat st;
    bool there = ::fstatat(at(), directory.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode);
    return there ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
  }
  if (host_errno == ENOTDIR) {
    struct stat st;
    if (trailing_separator_ && ::fstatat(at(), name(), &st, AT_SYMLINK_NOFOLLOW) == 0 && refuses(st.st_mode))
      return ERROR_INVALID_NAME;
    return ERROR_PATH_NOT_FOUND;
  }
  return win32_error_from_errno(host_errno, call);
}

int EntryPath::open_directory() const {
  std::string_view name(name_);
  std::size_t slash = name.rfind('/');
  if (slash == std::string_view::npos) {
    if (held_) return ::fcntl(held_->fd, F_DUPFD_CLOEXEC, 3);
    return ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  }
  std::string directory(name.substr(0, slash == 0 ? 1 : slash));
  return ::openat(at(), directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

bool resolve_host_path(std::string_view host_path, EntryPath* entry) {
  if (host_path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  entry->key_ = absolute_key(host_path, &entry->trailing_separator_);
  entry->held_ = held_above(entry->key_);
  const std::string& key = entry->key_;
  if (entry->held_) {
    const std::string& base = entry->held_->key;
    entry->name_.assign(key, base == "/" ? 1 : base.size() + 1);
    return true;
  }
  // What the user typed: the host looks it up from the current directory, the
  // process's own, whatever its name is meanwhile.
  const std::string current = host_current_directory();
  if (below(key, current) && current != "/")
    entry->name_.assign(key, current.size() + 1);
  else
    entry->name_ = key;
  return true;
}

bool resolve_entry(const char* windows_name, EntryPath* entry) {
  char host[PATH_MAX];
  int host_error = 0;
  std::size_t length = host_path_into(windows_name, host, sizeof host, &host_error);
  if (host_error == ENAMETOOLONG) {
    auto long_path = host_path(windows_name, &host_error);
    if (!long_path) return fail(host_error, Call::generic, false);
    return resolve_host_path(*long_path, entry);
  }
  if (host_error) return fail(host_error, Call::generic, false);
  return resolve_host_path(std::string_view(host, length), entry);
}

std::shared_ptr<HeldDirectory> hold_for_listing(const EntryPath& directory, struct statx* status, DWORD* error) {
  const bool expected = described.key == directory.key() && S_ISDIR(described.mode);
  int flags = O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC;
  if (directory.below_held() || expected) flags |= O_NOFOLLOW;
  int fd = ::openat(directory.at(), directory.name(), flags);
  if (fd < 0) {
    int open_error = errno;
    bool missing = open_error == ENOENT || open_error == ENOTDIR || open_error == ENAMETOOLONG || open_error == ELOOP;
    *error = missing ? ERROR_PATH_NOT_FOUND : win32_error_from_errno(open_error, Call::generic);
    return nullptr;
  }
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, status) != 0) {
    *error = win32_error_from_errno(errno, Call::generic);
    ::close(fd);
    return nullptr;
  }
  const dev_t device = makedev(status->stx_dev_major, status->stx_dev_minor);
  if (expected && (device != described.device || status->stx_ino != described.inode)) {
    // Another directory took the name after it was looked at: it is not listed.
    *error = ERROR_FILE_INVALID;
    ::close(fd);
    return nullptr;
  }
  auto held = std::make_shared<HeldDirectory>(directory.key(), fd, device, status->stx_ino);
  hold(held, directory.held_);
  return held;
}

void forget_at(std::string_view key) {
  if (described.key == key || below(described.key, key)) described.key.clear();
  std::lock_guard guard(chain_mutex);
  for (std::size_t i = 0; i < chain.size(); ++i) {
    if (chain[i]->key == key || below(chain[i]->key, key)) {
      chain.resize(i);
      return;
    }
  }
}

void note_described(const std::string& key, dev_t device, ino_t inode, mode_t mode) {
  described.key = key;
  described.device = device;
  described.inode = inode;
  described.mode = mode;
}

DWORD lookup_error(int host_errno, Call call, const std::string& host_path) {
  EntryPath entry;
  if (!resolve_host_path(host_path, &entry)) return win32_error_from_errno(host_errno, call);
  return entry.error_for(host_errno, call);
}

}  // namespace winapi
