// What a directory search saw of the entry it returned last. A removal reads an
// entry and then, at once, clears its attributes and deletes it: taking the
// search's status for those calls spares two lstat calls and a path lookup per
// file, and what they do is what they would have done had they run at the moment
// of the search.
#include "fs_common.h"

#include "paths.h"

#include <climits>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace winapi {
namespace {

// Closes a directory handed over by a closed search when the entry goes.
struct KeptRecentEntry : RecentEntry {
  KeptRecentEntry() = default;
  KeptRecentEntry(const KeptRecentEntry&) = delete;
  KeptRecentEntry& operator=(const KeptRecentEntry&) = delete;
  ~KeptRecentEntry() { release_directory(); }

  void release_directory() {
    if (owns_directory_fd) ::close(directory_fd);
    owns_directory_fd = false;
    directory_fd = -1;
  }
};

// Each use of a thread_local with a destructor goes through its initialisation
// check; the functions below take it once.
thread_local KeptRecentEntry recent_record;

bool separator(char c) { return c == '/' || c == '\\'; }

// Whether the host resolves `directory` + name as Windows resolves it: no ".."
// (the host follows links first), no component that Windows would trim (a
// trailing dot or space), no drive-relative "X:name", no device prefix.
bool resolves_alike(std::string_view directory) {
  if (directory.size() >= 2 && directory[1] == ':' && (directory.size() == 2 || !separator(directory[2])))
    return false;
  if (directory.size() >= 2 && separator(directory[0]) && separator(directory[1])) return false;
  size_t start = 0;
  for (size_t i = 0; i <= directory.size(); ++i) {
    if (i < directory.size() && !separator(directory[i])) continue;
    size_t length = i - start;
    start = i + 1;
    if (length == 0) continue;
    // A component ending in a dot is "." itself, or "..", or one Windows trims.
    char last = directory[i - 1];
    if (last == ' ' || (last == '.' && length > 1)) return false;
  }
  return true;
}

// Whether the relative `name` is `whole` (a path from the root) taken from the
// current directory: the runtime lists a directory by the name it was given
// and looks its entries up by their full names, or the other way round.
bool names_from_current_directory(std::string_view whole, std::string_view name) {
  if (name.empty() || name[0] == '/' || whole.size() <= name.size() || whole[0] != '/' || !whole.ends_with(name))
    return false;
  std::string_view directory = whole.substr(0, whole.size() - name.size());
  if (directory.back() != '/') return false;
  if (directory.size() > 1) directory.remove_suffix(1);
  return directory == host_current_directory();
}

}  // namespace

int64_t monotonic_ns() {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

bool caller_directory_key(std::string_view pattern, std::string* key) {
  size_t end = last_separator(pattern);
  std::string_view directory = pattern.substr(0, end == std::string_view::npos ? 0 : end + 1);
  char name[PATH_MAX];
  if (directory.size() >= sizeof name || !resolves_alike(directory)) return false;
  std::memcpy(name, directory.data(), directory.size());
  name[directory.size()] = '\0';
  char host[PATH_MAX];
  int error = 0;
  size_t length = host_path_into(name, host, sizeof host, &error);
  if (error) return false;
  key->assign(host, length);
  return true;
}

void remember_recent_entry(std::string_view directory_key, const char* name, const void* search,
                           int directory_fd, const EntryState& state, bool dos_attribute_absent,
                           int64_t seen_ns) {
  KeptRecentEntry& recent = recent_record;
  // A search for one name that was looked up from the kept directory keeps it.
  if (recent.directory_fd != directory_fd) recent.release_directory();
  // A listing's entries share its key: only the name after it changes.
  if (recent.search == search && recent.name_offset == directory_key.size())
    recent.path.resize(directory_key.size());
  else
    recent.path.assign(directory_key);
  recent.path.append(name);
  recent.search = search;
  recent.directory_fd = directory_fd;
  recent.name_offset = directory_key.size();
  static_cast<EntryState&>(recent) = state;
  recent.dos_attribute_absent = dos_attribute_absent;
  recent.seen_ns = seen_ns;
  recent.valid = true;
}

RecentEntry* recent_entry(std::string_view host_path) {
  KeptRecentEntry& recent = recent_record;
  if (!recent.valid || monotonic_ns() - recent.seen_ns > moment_ns) return nullptr;
  bool names_it = recent.path == host_path || names_from_current_directory(recent.path, host_path) ||
                  names_from_current_directory(host_path, recent.path);
  return names_it ? &recent : nullptr;
}

RecentEntry* recent_entry_any_age(const struct stat& entry) {
  KeptRecentEntry& recent = recent_record;
  bool same = recent.valid && recent.device == entry.st_dev &&
              recent.inode == entry.st_ino && recent.changed.tv_sec == entry.st_ctim.tv_sec &&
              recent.changed.tv_nsec == entry.st_ctim.tv_nsec;
  return same ? &recent : nullptr;
}

void forget_recent_entry() {
  KeptRecentEntry& recent = recent_record;
  recent.valid = false;
  recent.release_directory();
}

bool hand_directory_to_recent_entry(const void* search, int directory_fd) {
  KeptRecentEntry& recent = recent_record;
  if (recent.search == search) recent.search = nullptr;
  // The entry may be another search's that looked its name up from this directory.
  if (directory_fd < 0 || recent.directory_fd != directory_fd || recent.owns_directory_fd) return false;
  recent.owns_directory_fd = true;
  return true;
}

}  // namespace winapi
