// GetFullPathNameA/W: purely textual, as on Windows: the names need not exist.
#include "fs_common.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace winapi {
namespace {

bool drive_letter(std::string_view s) {
  return s.size() >= 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]));
}

// The directory drive X: was last left in: "=X:" in the environment, else its root.
std::string drive_directory(char letter) {
  std::string name = std::string("=") + letter + ":";
  char value[MAX_PATH * 4];
  DWORD n = GetEnvironmentVariableA(name.c_str(), value, sizeof value);
  if (n > 0 && n < sizeof value && drive_letter(value) &&
      std::toupper(static_cast<unsigned char>(value[0])) == letter)
    return value;
  return std::string(1, letter) + ":\\";
}

// Joins root and the components of rest, resolving "." and ".." without going
// above the root.
std::string collapse(const std::string& root, std::string_view rest) {
  std::vector<std::string_view> parts;
  size_t i = 0;
  while (i <= rest.size()) {
    size_t end = rest.find('\\', i);
    if (end == std::string_view::npos) end = rest.size();
    std::string_view part = rest.substr(i, end - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = end + 1;
  }
  std::string_view last;
  size_t cut = rest.find_last_not_of('\\');
  bool trailing = !rest.empty() && cut != rest.size() - 1;
  if (cut != std::string_view::npos) {
    size_t start = rest.find_last_of('\\', cut);
    last = rest.substr(start == std::string_view::npos ? 0 : start + 1, cut + 1 - (start == std::string_view::npos ? 0 : start + 1));
  }
  // "dir\." and "dir\.." name the directory itself, without a separator after it.
  if (last == "." || last == "..") trailing = false;
  std::string out = root + "\\";
  for (size_t k = 0; k < parts.size(); ++k) {
    if (k) out += '\\';
    out.append(parts[k]);
  }
  if (trailing && !parts.empty()) out += '\\';
  return out;
}

}  // namespace

bool is_separator(char c) { return c == '\\' || c == '/'; }

std::string windows_form(std::string_view host_absolute) {
  std::string out = "Z:";
  for (char c : host_absolute) out += c == '/' ? '\\' : c;
  if (out.size() == 2) out += '\\';
  return out;
}

std::optional<std::string> full_path_name(std::string_view name, DWORD* error) {
  if (name.empty()) {
    *error = ERROR_INVALID_NAME;
    return std::nullopt;
  }
  std::string s(name);
  for (char& c : s)
    if (c == '/') c = '\\';
  if (s.starts_with("\\\\?\\")) return std::string(name);
  if (s.starts_with("\\\\.\\")) return "\\\\.\\" + collapse("", s.substr(4)).substr(1);
  if (s.starts_with("\\\\")) {
    // \\server\share is the root of a network name.
    size_t server_end = s.find('\\', 2);
    if (server_end == std::string::npos) return s;
    size_t share_end = s.find('\\', server_end + 1);
    if (share_end == std::string::npos) return s;
    return collapse(s.substr(0, share_end), s.substr(share_end));
  }
  if (drive_letter(s)) {
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
    std::string root = std::string(1, letter) + ":";
    std::string rest = s.substr(2);
    if (rest.starts_with('\\')) return collapse(root, rest);
    std::string current = current_directory();
    std::string base = drive_letter(current) && current[0] == letter ? current : drive_directory(letter);
    return collapse(root, base.substr(2) + "\\" + rest);
  }
  // Rooted names without a drive are on Z:, as the layer maps them.
  if (s.starts_with('\\')) return collapse("Z:", s);
  std::string current = current_directory();
  if (current.starts_with("\\\\")) return *full_path_name(current + "\\" + s, error);
  return collapse(current.substr(0, 2), current.substr(2) + "\\" + s);
}

}  // namespace winapi

using namespace winapi;

extern "C" {

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart) {
  if (!lpFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  DWORD error = 0;
  auto full = full_path_name(lpFileName, &error);
  if (!full) {
    SetLastError(error);
    return 0;
  }
  DWORD length = static_cast<DWORD>(full->size());
  if (!lpBuffer || nBufferLength <= length) return length + 1;
  std::memcpy(lpBuffer, full->c_str(), length + 1);
  if (lpFilePart) *lpFilePart = full->back() == '\\' ? nullptr : lpBuffer + full->rfind('\\') + 1;
  return length;
}

DWORD WINAPI GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer, LPWSTR* lpFilePart) {
  auto name = narrow_argument(lpFileName);
  if (!name) return 0;
  DWORD error = 0;
  auto full = full_path_name(*name, &error);
  if (!full) {
    SetLastError(error);
    return 0;
  }
  std::u16string wide = widen(*full);
  DWORD length = static_cast<DWORD>(wide.size());
  if (!lpBuffer || nBufferLength <= length) return length + 1;
  std::memcpy(lpBuffer, wide.c_str(), (length + 1) * sizeof(WCHAR));
  if (lpFilePart) *lpFilePart = wide.back() == u'\\' ? nullptr : lpBuffer + wide.rfind(u'\\') + 1;
  return length;
}

}  // extern "C"
