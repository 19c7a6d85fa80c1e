// Pieces shared by the file-system calls of the layer: name conversion in the
// file code page, Windows full path names, attributes and times of host entries.
#pragma once

#include <fcntl.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

#include <windows.h>

namespace winapi {

// Windows 95/98 personality: the W functions do not exist there.
bool wide_calls_missing();

// The active ANSI (= OEM) code page: 65001 unless WINAPI_CODEPAGE selects another.
UINT active_code_page();

// Bytes of the active code page to UTF-16 and back. Bytes that do not decode map
// to U+DC00+byte and back, so every host name survives the round trip.
std::u16string widen(std::string_view bytes);
std::string narrow(std::u16string_view wide);

// For the W entry points: whether the call exists and got a name; false with the
// last error set (ERROR_CALL_NOT_IMPLEMENTED under the 95/98 personality).
bool wide_argument_usable(LPCWSTR name);

// The same, and the narrow name.
std::optional<std::string> narrow_argument(LPCWSTR name);

bool is_separator(char c);

// Where the last separator of a name is (npos if none), honouring the lead bytes
// of a double-byte code page, whose second bytes may be backslashes.
size_t last_separator(std::string_view name);

// The current directory in Windows form (Z:\home\user), without a trailing
// separator except at a root.
std::string current_directory();

// The host's current directory, as read within the last moment (moment_ns).
std::string host_current_directory();

// The root of the current directory's drive (Z:\) or network name (\\server\share\).
std::string current_root();

// GetFullPathNameA's text work: drive forms, "." and "..", both separators.
// Nothing, with *error a Win32 code, for an empty or unusable name.
std::optional<std::string> full_path_name(std::string_view name, DWORD* error);

// The Windows form of an absolute host path, on drive Z:.
std::string windows_form(std::string_view host_absolute);

// 100 ns intervals since 1601.
FILETIME file_time(const struct timespec& time);

// An entry named relative to an open directory `at` (or AT_FDCWD), and by its
// whole host path for the calls that have no form relative to a directory.
struct EntryName {
  int at;
  const char* relative;
  const char* host;
};
inline EntryName entry_name(const char* host_path) { return {AT_FDCWD, host_path, host_path}; }

// Attributes of the entry as Windows shows them, from its lstat
// record; `target_is_directory` counts only for links. With `xattrs` given,
// user.DOSATTRIB is asked only while *xattrs holds, and *xattrs drops to false
// on a file system without extended attributes. *dos_attribute_absent, when
// given, tells whether the entry holds no user.DOSATTRIB and would show a new
// one in its ctime (the kernel stamps ctime from a coarse clock, so an entry
// changed within the current tick could change again unseen).
DWORD attributes_of(const EntryName& name, const struct stat& entry, bool target_is_directory,
                    bool* xattrs = nullptr, bool* dos_attribute_absent = nullptr);

// The parts of an entry's status that tell whether it is still as it was seen.
struct EntryState {
  dev_t device = 0;
  ino_t inode = 0;
  mode_t mode = 0;
  struct timespec changed {};
};

// The entry a directory search returned last, as the search saw it.
struct RecentEntry : EntryState {
  std::string path;  // the host form of the name the caller gave the search, plus the entry's name
  const void* search = nullptr;
  int directory_fd = -1;  // the search's open directory, kept a moment after the search closes; else -1
  bool owns_directory_fd = false;  // the search has closed and handed its directory over
  std::size_t name_offset = 0;  // where the entry's name begins in path
  bool dos_attribute_absent = false;  // as attributes_of reports it
  int64_t seen_ns = 0;
  bool valid = false;
};

// The host form of the directory part of a search pattern as the caller wrote
// it (so "t\*.*" gives "t/"), when a name formed from it resolves on the host
// to what the search opened; false otherwise.
bool caller_directory_key(std::string_view pattern, std::string* key);

int64_t monotonic_ns();

// What the layer read within this long still holds: the calls that follow a
// search at once act as if they had run at the moment of the search. A question
// to the user, or anything else that takes time, lies beyond it.
constexpr int64_t moment_ns = 2'000'000;

// seen_ns: when the search took the status (monotonic_ns).
void remember_recent_entry(std::string_view directory_key, const char* name, const void* search,
                           int directory_fd, const EntryState& state, bool dos_attribute_absent,
                           int64_t seen_ns);

// The recent entry when host_path names it and the search saw it within the
// last two milliseconds: the calls that follow a search at once take its status.
RecentEntry* recent_entry(std::string_view host_path);

// The recent entry, of any age, when `entry` (a fresh lstat) is the same inode
// with the same ctime: what the search saw of its user.DOSATTRIB still holds.
RecentEntry* recent_entry_any_age(const struct stat& entry);

// Every call that changes entries or the current directory forgets it.
void forget_recent_entry();

// A search is closing. When the recent entry names its entry from the search's
// open directory it keeps that directory for the calls that follow at once (a
// walk looks up the entry it just read, then lists it); true when the
// descriptor is now the entry's.
bool hand_directory_to_recent_entry(const void* search, int directory_fd);

}  // namespace winapi
