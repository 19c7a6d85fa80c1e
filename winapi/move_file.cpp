// MoveFileExA: renames within a file system, and deletion at the next start
// through systemd-tmpfiles: one drop-in per request in WINAPI_TMPFILES_DIR
// (default /etc/tmpfiles.d) whose boot-only lines remove the file and then the
// drop-in itself.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "error_mapping.h"
#include "fs_common.h"
#include "handle_table.h"
#include "held_directories.h"

namespace winapi {
namespace {

// A path as a tmpfiles.d path field: `r` takes a glob (with braces), the line
// parser takes backslash escapes, and `%` starts a specifier.
std::string tmpfiles_field(const std::string& path) {
  std::string field;
  for (char c : path) {
    switch (c) {
      case '%':
        field += "%%";
        break;
      case '*':
      case '?':
      case '[':
      case ']':
      case '{':
      case '}':
        field += "\\\\";
        field += c;
        break;
      case '\\':
        field += "\\\\\\\\";
        break;
      case ' ':
      case '\t':
      case '"':
      case '\'':
        field += '\\';
        field += c;
        break;
      default:
        field += c;
    }
  }
  return field;
}

uint64_t fnv1a(const std::string& text) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

std::optional<std::string> file_contents(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[4096];
  ssize_t count;
  while ((count = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(count));
  ::close(fd);
  return text;
}

bool write_all(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t count = ::write(fd, text.data() + done, text.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    done += static_cast<size_t>(count);
  }
  return true;
}

BOOL delete_at_next_start(const std::string& target) {
  // The line parser ends a line at a line break, whatever the escapes.
  if (target.find_first_of("\n\r") != std::string::npos) return fail(EINVAL, Call::generic, FALSE);
  const char* setting = std::getenv("WINAPI_TMPFILES_DIR");
  std::string directory = setting && *setting ? setting : "/etc/tmpfiles.d";
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();

  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(fnv1a(target)));
  // The drop-in is written whole under a name tmpfiles ignores, then linked into
  // place, so a boot never reads half a request.
  const std::string scratch = directory + "/.winapi-delete-" + hash + "-" + std::to_string(::getpid()) + ".tmp";
  int fd = ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return fail_lookup(errno, Call::create_file, FALSE, scratch);

  BOOL result = FALSE;
  int error = 0;
  // A second name only for the rare drop-in of another path with the same hash.
  for (int attempt = 1; attempt <= 100; ++attempt) {
    std::string name = directory + "/winapi-delete-" + hash + (attempt > 1 ? "-" + std::to_string(attempt) : "") + ".conf";
    std::string text = "# deletion at the next start, recorded by the Windows API layer\n"
                       "r! " + tmpfiles_field(target) + "\n"
                       "r! " + tmpfiles_field(name) + "\n";
    if (name.find_first_of("\n\r") != std::string::npos) {
      error = EINVAL;
      break;
    }
    if (auto existing = file_contents(name)) {
      if (*existing == text) {
        result = TRUE;  // already requested
        break;
      }
      continue;
    }
    if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0 || !write_all(fd, text) || ::fsync(fd) != 0) {
      error = errno;
      break;
    }
    if (::link(scratch.c_str(), name.c_str()) == 0) {
      result = TRUE;
      break;
    }
    if (errno != EEXIST) {
      error = errno;
      break;
    }
  }
  ::close(fd);
  ::unlink(scratch.c_str());
  if (!result) return fail_lookup(error ? error : EEXIST, Call::create_file, FALSE, directory + "/");
  return TRUE;
}

BOOL move(const EntryPath& from, const EntryPath& to, DWORD flags) {
  struct stat source;
  if (::fstatat(from.at(), from.name(), &source, AT_SYMLINK_NOFOLLOW) != 0) return from.fail(errno, Call::generic, FALSE);
  // Windows refuses to rename a file that is open without delete sharing.
  if (!sharing_allows(source.st_dev, source.st_ino, access_delete,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
    return fail(ETXTBSY, Call::generic, FALSE);

  struct stat target;
  bool replaces = ::fstatat(to.at(), to.name(), &target, AT_SYMLINK_NOFOLLOW) == 0 &&
                  !(source.st_dev == target.st_dev && source.st_ino == target.st_ino);
  if (replaces) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) return fail(EEXIST, Call::create_directory, FALSE);
    // Only a file is replaced; a directory in the way is access denied.
    if (S_ISDIR(target.st_mode) || S_ISDIR(source.st_mode)) return fail(EACCES, Call::generic, FALSE);
    if (!sharing_allows(target.st_dev, target.st_ino, access_delete,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
      return fail(ETXTBSY, Call::generic, FALSE);
  }
  if (::renameat(from.at(), from.name(), to.at(), to.name()) != 0) {
    // Copying across file systems (MOVEFILE_COPY_ALLOWED) is not offered.
    const int rename_error = errno;
    return (rename_error == ENOENT ? to : from).fail(rename_error, Call::generic, FALSE);
  }
  forget_at(from.key());
  forget_at(to.key());
  return TRUE;
}

}  // namespace
}  // namespace winapi

using namespace winapi;

extern "C" {

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
  EntryPath from;
  if (!resolve_entry(lpExistingFileName, &from)) return FALSE;
  if (dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT) {
    // Windows records the request without looking at the file: a name that does
    // not exist yet is accepted.
    if (lpNewFileName && *lpNewFileName) return fail(EOPNOTSUPP, Call::generic, FALSE);
    return delete_at_next_start(from.key());
  }
  if (!lpNewFileName) return fail(EINVAL, Call::generic, FALSE);
  EntryPath to;
  if (!resolve_entry(lpNewFileName, &to)) return FALSE;
  return move(from, to, dwFlags);
}

}  // extern "C"
