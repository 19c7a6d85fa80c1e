// The one place where a host errno becomes a Win32 error code.
#pragma once

#include <windows.h>

namespace winapi {

// What the failing call was doing: Windows answers the same host condition with
// different codes depending on the call.
enum class Call {
  generic,
  create_file,       // CreateFileA and the opens it makes
  create_directory,
  remove_file,
  remove_directory,
  read,
  write,
  seek,
  lock,
  unlock,
  environment,
};

DWORD win32_error_from_errno(int host_errno, Call call);

// Sets the last error for host_errno and returns the failure value, so that a
// failure path reads `return fail(errno, Call::..., FALSE)`.
template <typename T>
T fail(int host_errno, Call call, T result) {
  SetLastError(win32_error_from_errno(host_errno, call));
  return result;
}

}  // namespace winapi
