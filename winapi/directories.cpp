#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "error_mapping.h"
#include "fs_common.h"
#include "handle_table.h"
#include "held_directories.h"

using namespace winapi;

extern "C" {

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  EntryPath entry;
  if (!resolve_entry(lpPathName, &entry)) return FALSE;
  if (::mkdirat(entry.at(), entry.name(), 0777) != 0) return entry.fail(errno, Call::create_directory, FALSE);
  forget_at(entry.key());
  return TRUE;
}

// The name is removed in the directory that holds it. A symbolic link stands for
// a junction here: it goes, never what it leads to.
BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
  EntryPath entry;
  if (!resolve_entry(lpPathName, &entry)) return FALSE;
  const int at = entry.at();
  const char* name = entry.name();
  struct stat st;
  // A directory open without delete sharing stays, as on Windows; with no file
  // open, and as rmdir refuses a link, the usual case needs no look first.
  if (files_open() && ::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      !sharing_allows(st.st_dev, st.st_ino, access_delete, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
    return fail(ETXTBSY, Call::remove_directory, FALSE);
  if (::unlinkat(at, name, AT_REMOVEDIR) == 0) {
    forget_at(entry.key());
    return TRUE;
  }
  const int rmdir_error = errno == EEXIST ? ENOTEMPTY : errno;
  if (rmdir_error == ENOTDIR && ::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    struct stat target;
    if (!S_ISLNK(st.st_mode) || ::fstatat(at, name, &target, 0) != 0 || !S_ISDIR(target.st_mode)) {
      SetLastError(ERROR_DIRECTORY);
      return FALSE;
    }
    if (::unlinkat(at, name, 0) != 0) return entry.fail(errno, Call::remove_directory, FALSE);
    forget_at(entry.key());
    return TRUE;
  }
  return entry.fail(rmdir_error, Call::remove_directory, FALSE);
}

}  // extern "C"
