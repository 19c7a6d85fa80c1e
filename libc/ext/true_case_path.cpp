// A path spelled with the case that the file system stores for each component.
#include <zav/path.h>
#include <zav/stdlib.h>

#include <windows.h>

#include <cstring>

namespace zav {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Equal apart from the case of single-byte letters; second bytes of double-byte
// characters must match exactly.
bool equal_apart_from_case(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (is_lead_byte(a[i])) {
      if (a[i] != b[i] || i + 1 >= n || a[i + 1] != b[i + 1]) return false;
      ++i;
    } else if (lower(a[i]) != lower(b[i])) {
      return false;
    }
  }
  return true;
}

// The component that ends at `end` (exclusive) starts at `start`; `path` is cut at
// `end` for the search.
void correct_component(char* path, std::size_t start, std::size_t end) {
  std::size_t n = end - start;
  if (n == 0) return;
  char kept = path[end];
  path[end] = '\0';
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  path[end] = kept;
  if (search == INVALID_HANDLE_VALUE) return;
  FindClose(search);
  if (std::strlen(found.cFileName) == n && equal_apart_from_case(path + start, found.cFileName, n))
    std::memcpy(path + start, found.cFileName, n);
}

}  // namespace

char* true_case_path(const char* path) {
  char* copy = strdup(path);
  if (copy == nullptr) return nullptr;
  convert_drive_form_only(copy);
  // The search leaves the last error of a component that is not found behind.
  DWORD last_error = GetLastError();

  std::size_t start = 0;
  bool first = true;
  std::size_t i = 0;
  for (;; ++i) {
    char c = copy[i];
    if (c != '\0' && is_lead_byte(c)) {
      if (copy[i + 1] == '\0') break;
      ++i;
      continue;
    }
    if (c == '\0' || is_separator(c)) {
      if (i > start) {
        if (!first) correct_component(copy, start, i);
        first = false;
      } else if (i == 0) {
        first = false;  // a rooted path: the first component is the empty one before the slash
      }
      if (c == '\0') break;
      start = i + 1;
    }
  }
  SetLastError(last_error);
  return copy;
}

}  // namespace zav
