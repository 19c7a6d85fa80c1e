#include "name_mask.h"

namespace winapi {
namespace {

bool only_wildcards(const char* p) {
  for (; *p; ++p)
    if (*p != '*' && *p != '?') return false;
  return true;
}

bool matches(const char* p, const char* n) {
  while (*p) {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (!*p) return true;
      for (const char* s = n;; ++s) {
        if (matches(p, s)) return true;
        if (!*s) return false;
      }
    }
    if (*p == '?') {
      if (!*n) return false;
      ++p, ++n;
      continue;
    }
    if (*p == '.' && !*n) return only_wildcards(p + 1);
    if (*p != *n) return false;
    ++p, ++n;
  }
  return !*n;
}

}  // namespace

bool has_wildcard(std::string_view mask) { return mask.find_first_of("*?") != std::string_view::npos; }

// Most listings ask for "*.*" or "*", which take every name.
bool mask_takes(const std::string& mask, const char* name) {
  return mask == "*.*" || mask == "*" || matches(mask.c_str(), name);
}

}  // namespace winapi
