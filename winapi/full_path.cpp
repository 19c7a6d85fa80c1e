// GetFullPathNameA/W: purely textual, as on Windows: the names need not exist.
#include "fs_common.h"

#include "paths.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

namespace winapi {
namespace {

template <typename C>
using String = std::basic_string<C>;

template <typename C>
String<C> text(std::string_view narrow_text) {
  if constexpr (std::is_same_v<C, char>)
    return String<C>(narrow_text);
  else
    return widen(narrow_text);
}

// Whether no byte of the name can begin a double-byte character.
bool plain_bytes(std::string_view name) {
  return active_code_page() == CP_UTF8 || std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; });
}

template <typename C>
bool drive_letter(std::basic_string_view<C> s) {
  return s.size() >= 2 && s[1] == ':' && s[0] < 0x80 && std::isalpha(static_cast<unsigned char>(s[0]));
}

template <typename C>
bool starts_with(const String<C>& s, const char* prefix) {
  size_t n = std::strlen(prefix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (s[i] != static_cast<C>(prefix[i])) return false;
  return true;
}

// The directory drive X: was last left in: "=X:" in the environment, else its root.
std::string drive_directory(char letter) {
  std::string name = std::string("=") + letter + ":";
  char value[MAX_PATH * 4];
  DWORD n = GetEnvironmentVariableA(name.c_str(), value, sizeof value);
  if (n > 0 && n < sizeof value && drive_letter(std::string_view(value)) &&
      std::toupper(static_cast<unsigned char>(value[0])) == letter)
    return value;
  return std::string(1, letter) + ":\\";
}

// Whether rest, after its leading separator, has neither an empty part nor a "."
// or ".." part before its end: then joining changes nothing in it.
template <typename C>
bool already_collapsed(std::basic_string_view<C> rest) {
  if (rest.empty() || rest[0] != '\\') return false;
  for (size_t i = 0; i + 1 < rest.size(); ++i) {
    if (rest[i] != '\\') continue;
    size_t next = i + 1;
    if (rest[next] == '\\') return false;
    if (rest[next] == '.') {
      if (next + 1 < rest.size() && rest[next + 1] == '.') ++next;
      if (next + 1 == rest.size() || rest[next + 1] == '\\') return false;
    }
  }
  return true;
}

// Joins root and the components of rest, resolving "." and ".." without going
// above the root.
template <typename C>
String<C> collapse(const String<C>& root, const String<C>& rest) {
  using View = std::basic_string_view<C>;
  if (already_collapsed(View(rest))) return root + rest;
  const C separator = '\\';
  const C dot[] = {'.', 0}, dots[] = {'.', '.', 0};
  std::vector<View> parts;
  View whole(rest);
  size_t i = 0;
  while (i <= whole.size()) {
    size_t end = whole.find(separator, i);
    if (end == View::npos) end = whole.size();
    View part = whole.substr(i, end - i);
    if (part == dots) {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != dot) {
      parts.push_back(part);
    }
    i = end + 1;
  }
  size_t cut = whole.find_last_not_of(separator);
  bool trailing = !whole.empty() && cut != whole.size() - 1;
  if (cut != View::npos) {
    size_t start = whole.find_last_of(separator, cut);
    start = start == View::npos ? 0 : start + 1;
    View last = whole.substr(start, cut + 1 - start);
    // "dir\." and "dir\.." name the directory itself, without a separator after it.
    if (last == dot || last == dots) trailing = false;
  }
  String<C> out = root + separator;
  for (size_t k = 0; k < parts.size(); ++k) {
    if (k) out += separator;
    out.append(parts[k]);
  }
  if (trailing && !parts.empty()) out += separator;
  return out;
}

template <typename C>
std::optional<String<C>> full_path(std::basic_string_view<C> name, DWORD* error) {
  if (name.empty()) {
    *error = ERROR_INVALID_NAME;
    return std::nullopt;
  }
  String<C> s(name);
  for (C& c : s)
    if (c == '/') c = '\\';
  if (starts_with(s, "\\\\?\\")) return String<C>(name);
  if (starts_with(s, "\\\\.\\")) return text<C>("\\\\.\\") + collapse(String<C>(), s.substr(4)).substr(1);
  if (starts_with(s, "\\\\")) {
    // \\server\share is the root of a network name.
    size_t server_end = s.find('\\', 2);
    if (server_end == String<C>::npos) return s;
    size_t share_end = s.find('\\', server_end + 1);
    if (share_end == String<C>::npos) return s;
    return collapse(s.substr(0, share_end), s.substr(share_end));
  }
  if (drive_letter(std::basic_string_view<C>(s))) {
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
    String<C> root = text<C>(std::string(1, letter) + ":");
    String<C> rest = s.substr(2);
    if (!rest.empty() && rest[0] == '\\') return collapse(root, rest);
    std::string current = current_directory();
    std::string base =
        drive_letter(std::string_view(current)) && current[0] == letter ? current : drive_directory(letter);
    return collapse(root, text<C>(base.substr(2) + "\\") + rest);
  }
  // Rooted names without a drive are on Z:, as the layer maps them.
  if (s[0] == '\\') return collapse(text<C>("Z:"), s);
  std::string current = current_directory();
  if (current.starts_with("\\\\")) return full_path(std::basic_string_view<C>(text<C>(current + "\\") + s), error);
  String<C> rest = text<C>(std::string_view(current).substr(2));
  rest += C('\\');
  rest += s;
  return collapse(text<C>(current.substr(0, 2)), rest);
}

}  // namespace

bool is_separator(char c) { return c == '\\' || c == '/'; }

size_t last_separator(std::string_view name) {
  if (plain_bytes(name)) return name.find_last_of("/\\");
  size_t last = std::string_view::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    if (is_separator(name[i]))
      last = i;
    else if (IsDBCSLeadByte(static_cast<BYTE>(name[i])) && i + 1 < name.size())
      ++i;
  }
  return last;
}

std::string windows_form(std::string_view host_absolute) {
  std::string out = "Z:";
  append_windows_name(host_absolute, &out);
  for (char& c : out)
    if (c == '/') c = '\\';
  if (out.size() == 2) out += '\\';
  return out;
}

// In a double-byte code page the second byte of a character may be a backslash:
// such a name is taken apart in wide characters, as Windows does every name.
std::optional<std::string> full_path_name(std::string_view name, DWORD* error) {
  if (plain_bytes(name)) return full_path<char>(name, error);
  auto wide = full_path<char16_t>(widen(name), error);
  if (!wide) return std::nullopt;
  return narrow(*wide);
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
  if (lpFilePart) {
    size_t separator = last_separator(*full);
    *lpFilePart = separator + 1 == full->size() ? nullptr : lpBuffer + separator + 1;
  }
  return length;
}

DWORD WINAPI GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer, LPWSTR* lpFilePart) {
  if (!wide_argument_usable(lpFileName)) return 0;
  DWORD error = 0;
  auto full = full_path<char16_t>(std::u16string_view(lpFileName), &error);
  if (!full) {
    SetLastError(error);
    return 0;
  }
  const std::u16string& wide = *full;
  DWORD length = static_cast<DWORD>(wide.size());
  if (!lpBuffer || nBufferLength <= length) return length + 1;
  std::memcpy(lpBuffer, wide.c_str(), (length + 1) * sizeof(WCHAR));
  if (lpFilePart) *lpFilePart = wide.back() == u'\\' ? nullptr : lpBuffer + wide.rfind(u'\\') + 1;
  return length;
}

}  // extern "C"
