#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "error_mapping.h"
#include "paths.h"

using namespace winapi;

extern "C" {

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  int error = 0;
  auto path = host_path(lpPathName, &error);
  if (!path) return fail(error, Call::create_directory, FALSE);
  if (::mkdir(path->c_str(), 0777) != 0) return fail(errno, Call::create_directory, FALSE, *path);
  return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
  int error = 0;
  auto path = host_path(lpPathName, &error);
  if (!path) return fail(error, Call::remove_directory, FALSE);
  // A symbolic link stands for a junction here: it goes, never what it leads to.
  struct stat st;
  std::string link = *path;
  while (link.size() > 1 && link.back() == '/') link.pop_back();
  if (::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    struct stat target;
    if (::stat(link.c_str(), &target) != 0 || !S_ISDIR(target.st_mode))
      return fail(ENOTDIR, Call::remove_directory, FALSE, link);
    if (::unlink(link.c_str()) != 0) return fail(errno, Call::remove_directory, FALSE, link);
    return TRUE;
  }
  if (::rmdir(path->c_str()) != 0) {
    int rmdir_error = errno == EEXIST ? ENOTEMPTY : errno;
    return fail(rmdir_error, Call::remove_directory, FALSE, *path);
  }
  return TRUE;
}

}  // extern "C"
