// WritePrivateProfileStringA and GetPrivateProfileSectionA: the INI files of
// Windows ([section] headers, key=value lines), which the Windows 95/98
// personality uses for WININIT.INI.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "error_mapping.h"
#include "held_directories.h"
#include "paths.h"

namespace winapi {
namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// A bare file name lives in the Windows directory, as on Windows.
std::optional<std::string> profile_host_path(const char* name, int* error) {
  if (!std::strpbrk(name, "\\/")) {
    char directory[MAX_PATH];
    UINT length = GetWindowsDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) {
      *error = ENAMETOOLONG;
      return std::nullopt;
    }
    return host_path((std::string(directory) + "\\" + name).c_str(), error);
  }
  return host_path(name, error);
}

// The file's lines without their line ends; a missing file is no lines.
bool read_lines(const std::string& path, std::vector<std::string>* lines, int* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return false;
  }
  std::string text;
  char buffer[4096];
  ssize_t count;
  while ((count = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(count));
  *error = count < 0 ? errno : 0;
  ::close(fd);
  if (count < 0) return false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines->push_back(std::move(line));
    start = end + 1;
  }
  return true;
}

std::optional<std::string_view> section_name(std::string_view line) {
  line = trimmed(line);
  if (!line.starts_with('[')) return std::nullopt;
  size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trimmed(line.substr(1, close - 1));
}

bool is_comment(std::string_view line) { return trimmed(line).starts_with(';'); }

// The line range [first, last) of the section's body, or nothing.
struct Body {
  size_t header;
  size_t first;
  size_t last;
};

std::optional<Body> find_section(const std::vector<std::string>& lines, std::string_view name) {
  for (size_t i = 0; i < lines.size(); ++i) {
    auto header = section_name(lines[i]);
    if (!header || !same_ignoring_case(*header, name)) continue;
    size_t end = i + 1;
    while (end < lines.size() && !section_name(lines[end])) ++end;
    return Body{i, i + 1, end};
  }
  return std::nullopt;
}

std::optional<size_t> find_key(const std::vector<std::string>& lines, const Body& body, std::string_view key) {
  for (size_t i = body.first; i < body.last; ++i) {
    if (is_comment(lines[i])) continue;
    size_t equals = lines[i].find('=');
    if (equals != std::string::npos && same_ignoring_case(trimmed(std::string_view(lines[i]).substr(0, equals)), key))
      return i;
  }
  return std::nullopt;
}

bool write_lines(const std::string& path, const std::vector<std::string>& lines, int* error) {
  // Read-only is the missing owner write bit, for root as well.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) {
    *error = EACCES;
    return false;
  }
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = errno;
    return false;
  }
  size_t done = 0;
  while (done < text.size()) {
    ssize_t count = ::write(fd, text.data() + done, text.size() - done);
    if (count < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      ::close(fd);
      return false;
    }
    done += static_cast<size_t>(count);
  }
  if (::close(fd) != 0) {
    *error = errno;
    return false;
  }
  return true;
}

}  // namespace
}  // namespace winapi

using namespace winapi;

extern "C" {

BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName) {
  if (!lpAppName || !lpFileName) return fail(EINVAL, Call::generic, FALSE);
  // A line break would end the line there and begin one the caller never wrote.
  auto breaks_line = [](const char* text) { return text && std::strpbrk(text, "\r\n"); };
  if (breaks_line(lpAppName) || breaks_line(lpKeyName) || breaks_line(lpString))
    return fail(EINVAL, Call::generic, FALSE);
  int error = 0;
  auto path = profile_host_path(lpFileName, &error);
  if (!path) return fail(error, Call::generic, FALSE);

  std::vector<std::string> lines;
  if (!read_lines(*path, &lines, &error) && error != ENOENT) return fail_lookup(error, Call::generic, FALSE, *path);
  auto body = find_section(lines, lpAppName);

  if (!lpKeyName) {  // the whole section goes
    if (!body) return TRUE;
    lines.erase(lines.begin() + static_cast<long>(body->header), lines.begin() + static_cast<long>(body->last));
  } else if (!lpString) {  // the key goes
    if (!body) return TRUE;
    auto key = find_key(lines, *body, lpKeyName);
    if (!key) return TRUE;
    lines.erase(lines.begin() + static_cast<long>(*key));
  } else {
    // Windows drops the blanks in front of a value.
    std::string_view value = lpString;
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    if (!body) {
      lines.push_back("[" + std::string(lpAppName) + "]");
      lines.push_back(std::string(lpKeyName) + "=" + std::string(value));
    } else if (auto key = find_key(lines, *body, lpKeyName)) {
      // The key keeps the spelling it has in the file.
      std::string& line = lines[*key];
      line = std::string(trimmed(std::string_view(line).substr(0, line.find('=')))) + "=" + std::string(value);
    } else {
      size_t at = body->last;
      while (at > body->first && trimmed(lines[at - 1]).empty()) --at;
      lines.insert(lines.begin() + static_cast<long>(at), std::string(lpKeyName) + "=" + std::string(value));
    }
  }
  if (!write_lines(*path, lines, &error)) return fail_lookup(error, Call::create_file, FALSE, *path);
  return TRUE;
}

DWORD WINAPI GetPrivateProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
  if (!lpReturnedString || nSize == 0) return 0;
  lpReturnedString[0] = '\0';
  if (nSize > 1) lpReturnedString[1] = '\0';
  if (!lpAppName || !lpFileName) return fail(EINVAL, Call::generic, DWORD{0});
  int error = 0;
  auto path = profile_host_path(lpFileName, &error);
  if (!path) return fail(error, Call::generic, DWORD{0});
  std::vector<std::string> lines;
  if (!read_lines(*path, &lines, &error)) return fail_lookup(error, Call::generic, DWORD{0}, *path);
  auto body = find_section(lines, lpAppName);
  if (!body) return 0;

  std::string list;
  for (size_t i = body->first; i < body->last; ++i) {
    std::string_view line = trimmed(lines[i]);
    if (line.empty() || is_comment(line)) continue;
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      list += line;
    } else {
      list += trimmed(line.substr(0, equals));
      list += '=';
      list += trimmed(line.substr(equals + 1));
    }
    list += '\0';
  }
  if (nSize < 2) return 0;
  // A list that takes the buffer to its last byte counts as too long, as Wine has it.
  if (list.size() + 2 > nSize) {
    // As much as fits, cut anywhere, and still a proper double-NUL list.
    const DWORD kept = nSize - 2;
    std::memcpy(lpReturnedString, list.data(), kept);
    lpReturnedString[kept] = '\0';
    lpReturnedString[kept + 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return kept;
  }
  std::memcpy(lpReturnedString, list.data(), list.size());
  lpReturnedString[list.size()] = '\0';
  if (list.empty() && nSize > 1) lpReturnedString[1] = '\0';
  return static_cast<DWORD>(list.size());
}

}  // extern "C"
