// Windows names to host paths: both separators, drive Z: as the host root, other
// drives through WINAPI_DRIVE_<X>, and the DOS device names.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace winapi {

// A host name may hold backslashes, which Windows names cannot: a caller gets
// each as U+F05C (its UTF-8 form here), and U+F05C in a name it gives is a
// backslash of the host name. Under a double-byte code page, which has no such
// character, a backslash that is not the second byte of a character shows as
// '?', as Windows shows any character a code page lacks.
inline constexpr std::string_view mapped_backslash = "\xEF\x81\x9C";

// The name of a host entry as the Windows calls hand it out.
void append_windows_name(std::string_view host_name, std::string* out);

// The host path for a Windows name, or nothing with *error set to a host errno
// (ENODEV for a drive that is not mapped or a network path).
std::optional<std::string> host_path(const char* name, int* error);

// The same into a caller's buffer, without allocating: the path's length, or 0
// with *error set (ENAMETOOLONG when it does not fit; *error stays 0 for "").
std::size_t host_path_into(const char* name, char* out, std::size_t size, int* error);

enum class Device { null, console_input, console_output, console };

struct DeviceName {
  Device device;
  std::string directory;  // host path of the directory part, empty if none
  int directory_error = 0;  // set when the directory part has no host path
};

// "nul", "con", "conin$", "conout$" in any case, alone, after a directory or
// behind the \\.\ prefix.
std::optional<DeviceName> dos_device(const char* name);

}  // namespace winapi
