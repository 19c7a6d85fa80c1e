#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "error_mapping.h"
#include "fs_common.h"
#include "paths.h"

using namespace winapi;

extern "C" {

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  forget_recent_entry();
  int error = 0;
  auto path = host_path(lpPathName, &error);
  if (!path) return fail(error, Call::create_directory, FALSE);
  if (::mkdir(path->c_str(), 0777) != 0) return fail(errno, Call::create_directory, FALSE, *path);
  return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
  forget_recent_entry();
  int error = 0;
  char path[PATH_MAX];
  std::size_t length = host_path_into(lpPathName, path, sizeof path, &error);
  if (error) return fail(error, Call::remove_directory, FALSE);
  // rmdir refuses a link, so the usual case needs no look first. A symbolic
  // link stands for a junction here: it goes, never what it leads to.
  if (::rmdir(path) == 0) return TRUE;
  const int rmdir_error = errno == EEXIST ? ENOTEMPTY : errno;
  char link[PATH_MAX];
  std::memcpy(link, path, length + 1);
  while (length > 1 && link[length - 1] == '/') link[--length] = '\0';
  struct stat st;
  if (::lstat(link, &st) == 0 && S_ISLNK(st.st_mode)) {
    struct stat target;
    if (::stat(link, &target) != 0 || !S_ISDIR(target.st_mode)) return fail(ENOTDIR, Call::remove_directory, FALSE, link);
    if (::unlink(link) != 0) return fail(errno, Call::remove_directory, FALSE, link);
    return TRUE;
  }
  return fail(rmdir_error, Call::remove_directory, FALSE, path);
}

}  // extern "C"
