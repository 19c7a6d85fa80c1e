// The one place where a host errno becomes a Win32 error code.
#pragma once

#include <string>

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

// host_path, when given, is the path the call worked on: ENOENT then tells a
// missing file from a missing directory on the way. Without it ENOENT is a
// missing file.
DWORD win32_error_from_errno(int host_errno, Call call, const char* host_path = nullptr);

// Sets the last error for host_errno and returns the failure value, so that a
// failure path reads `return fail(errno, Call::..., FALSE)`.
template <typename T>
T fail(int host_errno, Call call, T result, const char* host_path = nullptr) {
  SetLastError(win32_error_from_errno(host_errno, call, host_path));
  return result;
}

template <typename T>
T fail(int host_errno, Call call, T result, const std::string& host_path) {
  return fail(host_errno, call, result, host_path.c_str());
}

}  // namespace winapi
