// unlink and rmdir: removal of a file or an empty directory, read-only or not.
#include <windows.h>

#include <zav/errno.h>
#include <zav/unistd.h>

namespace zav {

namespace {

// Callers decide about read-only entries before they remove one; the removal
// itself must not be refused for an attribute. The attributes are not restored
// when the removal fails.
void clear_attributes(const char* path) { SetFileAttributesA(path, 0); }

}  // namespace

int rmdir(const char* path) {
  clear_attributes(path);
  if (RemoveDirectoryA(path)) return 0;
  return set_errno_from_last_error();
}

int unlink(const char* path) {
  clear_attributes(path);
  if (DeleteFileA(path)) return 0;
  set_errno_from_last_error();
  if (errno_ != EACCES_) return -1;

  // A junction to a directory refuses DeleteFile; it is removed as a directory,
  // which takes away the link and leaves what it points to alone.
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    char target[MAX_PATH];
    if (readlink(path, target, sizeof target) >= 1) return rmdir(path);
  }
  return -1;
}

}  // namespace zav
