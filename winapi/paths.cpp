#include "paths.h"

#include "error_mapping.h"
#include "fs_common.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace winapi {
namespace {

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

// The runtime separates every component with a backslash, so a deep name holds
// one every few bytes: they are turned into slashes eight bytes at a time.
// Returns whether any byte was above 0x7F, where a double-byte character may begin.
bool copy_with_slashes(char* to, const char* from, std::size_t n) {
  if (n < 8) {
    bool high = false;
    for (std::size_t i = 0; i < n; ++i) {
      to[i] = from[i] == '\\' ? '/' : from[i];
      high |= (from[i] & 0x80) != 0;
    }
    return high;
  }
  std::uint64_t high = 0;
  auto eight = [to, from, &high](std::size_t at) {
    constexpr std::uint64_t ones = 0x0101010101010101u;
    constexpr std::uint64_t low7 = 0x7f7f7f7f7f7f7f7fu;
    std::uint64_t word;
    std::memcpy(&word, from + at, 8);
    high |= word;
    const std::uint64_t x = word ^ (ones * '\\');
    // The high bit of each byte of x that is zero, exactly (no borrow between bytes).
    const std::uint64_t zero = ~(((x & low7) + low7) | x) & (ones << 7);
    word ^= (zero >> 7) * ('\\' ^ '/');
    std::memcpy(to + at, &word, 8);
  };
  for (std::size_t at = 0; at + 8 < n; at += 8) eight(at);
  // The last eight bytes may overlap those before them, which are written again the same.
  eight(n - 8);
  return (high & 0x8080808080808080u) != 0;
}

// In a double-byte code page the second byte of a character may be 0x5C, and
// it is part of that character, not a separator.
void copy_double_byte_name(char* to, const char* from, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    to[i] = from[i] == '\\' ? '/' : from[i];
    if (IsDBCSLeadByte(static_cast<BYTE>(from[i])) && i + 1 < n) {
      ++i;
      to[i] = from[i];
    }
  }
}

bool ascii_letter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

// The runtime's U+F05C is a backslash of the host name; done after the
// separators became slashes, so the backslash it gives back stays in the name.
std::size_t unmap_backslashes(char* path, std::size_t length) {
  char* found = static_cast<char*>(memmem(path, length, mapped_backslash.data(), mapped_backslash.size()));
  if (!found) return length;
  char* out = found;
  for (const char* in = found; in < path + length;) {
    if (static_cast<std::size_t>(path + length - in) >= mapped_backslash.size() &&
        std::memcmp(in, mapped_backslash.data(), mapped_backslash.size()) == 0) {
      *out++ = '\\';
      in += mapped_backslash.size();
    } else {
      *out++ = *in++;
    }
  }
  *out = '\0';
  return static_cast<std::size_t>(out - path);
}

bool has_drive(std::string_view path) { return path.size() >= 2 && path[1] == ':' && ascii_letter(path[0]); }

}  // namespace

std::size_t host_path_into(const char* name, char* out, std::size_t size, int* error) {
  if (!name) {
    *error = EINVAL;
    return 0;
  }
  auto slash = [](char c) { return c == '\\' || c == '/'; };
  if (slash(name[0]) && slash(name[1]) && (name[2] == '?' || name[2] == '.') && slash(name[3])) name += 4;
  if (slash(name[0]) && slash(name[1])) {
    *error = ENODEV;
    return 0;
  }
  std::string_view root;
  if (ascii_letter(name[0]) && name[1] == ':') {
    char letter = static_cast<char>(name[0] & ~0x20);
    if (letter == 'Z') {
      root = "/";
    } else {
      char variable[] = "WINAPI_DRIVE_X";
      variable[sizeof variable - 2] = letter;
      const char* mapped = std::getenv(variable);
      if (!mapped || !*mapped) {
        *error = ENODEV;
        return 0;
      }
      root = mapped;
    }
    name += 2;
    while (slash(*name)) ++name;
  }
  const std::size_t rest = std::strlen(name);
  const bool joint = !root.empty() && root.back() != '/';
  const std::size_t length = root.size() + joint + rest;
  if (length >= size) {
    *error = ENAMETOOLONG;
    return 0;
  }
  char* p = out;
  if (!root.empty()) std::memcpy(p, root.data(), root.size());
  p += root.size();
  if (joint) *p++ = '/';
  if (!copy_with_slashes(p, name, rest + 1)) return length;
  if (active_code_page() != CP_UTF8) {
    copy_double_byte_name(p, name, rest + 1);
    return length;
  }
  return static_cast<std::size_t>(p - out) + unmap_backslashes(p, rest);
}

void append_windows_name(std::string_view host_name, std::string* out) {
  std::size_t backslash = host_name.find('\\');
  if (backslash == std::string_view::npos) {
    out->append(host_name);
    return;
  }
  const bool utf8 = active_code_page() == CP_UTF8;
  for (std::size_t i = 0; i < host_name.size(); ++i) {
    char c = host_name[i];
    if (!utf8 && IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < host_name.size()) {
      *out += c;
      *out += host_name[++i];
    } else if (c != '\\') {
      *out += c;
    } else if (utf8) {
      out->append(mapped_backslash);
    } else {
      // The code page has no U+F05C: shown as Windows shows any character it lacks.
      *out += '?';
    }
  }
}

std::optional<std::string> host_path(const char* name, int* error) {
  char buffer[PATH_MAX];
  int failure = 0;
  std::size_t length = host_path_into(name, buffer, sizeof buffer, &failure);
  if (failure == 0) return std::string(buffer, length);
  if (failure != ENAMETOOLONG) {
    *error = failure;
    return std::nullopt;
  }
  // Longer than the host takes in one call: the host's own call reports that.
  std::string long_path(std::strlen(name) + PATH_MAX, '\0');
  failure = 0;
  length = host_path_into(name, long_path.data(), long_path.size(), &failure);
  long_path.resize(length);
  return long_path;
}

std::optional<DeviceName> dos_device(const char* name) {
  if (!name) return std::nullopt;
  std::string_view path(name);
  if (path.size() >= 4 && is_separator(path[0]) && is_separator(path[1]) && path[2] == '.' && is_separator(path[3])) {
    auto device = device_named(path.substr(4));
    if (!device) return std::nullopt;
    return DeviceName{*device, {}};
  }
  size_t slash = last_separator(path);
  std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (slash == std::string_view::npos && has_drive(path)) last.remove_prefix(2);
  auto device = device_named(last);
  if (!device) return std::nullopt;
  DeviceName result{*device, {}};
  if (slash != std::string_view::npos) {
    auto directory = host_path(std::string(path.substr(0, slash + 1)).c_str(), &result.directory_error);
    if (directory) result.directory = *directory;
  }
  return result;
}

}  // namespace winapi
