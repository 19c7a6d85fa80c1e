#include "paths.h"

#include "error_mapping.h"
#include "layer_internal.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace winapi {
namespace {

std::string with_slashes(std::string_view name) {
  std::string path(name);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::optional<Device> device_named(std::string_view name) {
  if (!name.empty() && name.back() == ':') name.remove_suffix(1);
  if (same_ignoring_case(name, "nul")) return Device::null;
  if (same_ignoring_case(name, "con")) return Device::console;
  if (same_ignoring_case(name, "conin$")) return Device::console_input;
  if (same_ignoring_case(name, "conout$")) return Device::console_output;
  return std::nullopt;
}

bool has_drive(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

}  // namespace

std::optional<std::string> host_path(const char* name, int* error) {
  if (!name) {
    *error = EINVAL;
    return std::nullopt;
  }
  std::string path = with_slashes(name);
  if (path.starts_with("//?/") || path.starts_with("//./")) path.erase(0, 4);
  if (path.starts_with("//")) {
    *error = ENODEV;
    return std::nullopt;
  }
  if (!has_drive(path)) return path;

  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
  std::string rest = path.substr(2);
  std::string root;
  if (letter == 'Z') {
    root = "/";
  } else {
    std::string variable = std::string("WINAPI_DRIVE_") + letter;
    const char* mapped = std::getenv(variable.c_str());
    if (!mapped || !*mapped) {
      *error = ENODEV;
      return std::nullopt;
    }
    root = mapped;
  }
  if (!root.ends_with('/')) root += '/';
  while (rest.starts_with('/')) rest.erase(0, 1);
  return root + rest;
}

std::optional<DeviceName> dos_device(const char* name) {
  if (!name) return std::nullopt;
  std::string path = with_slashes(name);
  if (path.starts_with("//./")) {
    auto device = device_named(std::string_view(path).substr(4));
    if (!device) return std::nullopt;
    return DeviceName{*device, {}};
  }
  auto slash = path.rfind('/');
  std::string_view last = slash == std::string::npos ? std::string_view(path)
                                                     : std::string_view(path).substr(slash + 1);
  if (slash == std::string::npos && has_drive(path)) last.remove_prefix(2);
  auto device = device_named(last);
  if (!device) return std::nullopt;
  DeviceName result{*device, {}};
  if (slash != std::string::npos) {
    auto directory = host_path(path.substr(0, slash + 1).c_str(), &result.directory_error);
    if (directory) result.directory = *directory;
  }
  return result;
}

}  // namespace winapi

bool winapi_internal::host_path(LPCSTR path, char* out, std::size_t size) {
  int error = 0;
  auto host = winapi::host_path(path, &error);
  if (!host) return winapi::fail(error, winapi::Call::generic, false);
  if (host->size() >= size) return winapi::fail(ENAMETOOLONG, winapi::Call::generic, false);
  std::memcpy(out, host->c_str(), host->size() + 1);
  return true;
}
