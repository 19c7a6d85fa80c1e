// errno as Win32 error codes.
#include <windows.h>

#include <zav/errno.h>

namespace zav {

int errno_ = 0;

namespace {

// The few Win32 codes that POSIX callers would otherwise miss: a malformed name
// is a missing file, an over-long one is ENAMETOOLONG, and "file exists" has two
// Win32 spellings.
struct folded_code {
  DWORD win32;
  int value;
};

constexpr folded_code folded_codes[] = {
    {ERROR_INVALID_NAME, ENOENT_},
    {ERROR_BAD_PATHNAME, ENOENT_},
    {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG_},
    {ERROR_DIRECTORY, ENOTDIR_},
    {ERROR_FILE_EXISTS, EEXIST_},
};

}  // namespace

int set_errno_from_last_error() {
  const DWORD code = GetLastError();
  int value = static_cast<int>(code);
  for (const folded_code& entry : folded_codes) {
    if (entry.win32 == code) {
      value = entry.value;
      break;
    }
  }
  errno_ = value;
  return -1;
}

int fail_with(int code) {
  errno_ = code;
  return -1;
}

}  // namespace zav
