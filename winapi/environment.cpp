// The process environment is the host's. Names compare without regard to case,
// as on Windows.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <strings.h>
#include <vector>

#include "command_line.h"
#include "error_mapping.h"

extern char** environ;

using namespace winapi;

namespace {

std::mutex environment_mutex;

// The value of the entry named `name` in any case, the exact spelling first.
const char* find_value(const char* name) {
  if (const char* value = std::getenv(name)) return value;
  size_t length = std::strlen(name);
  for (char** entry = environ; entry && *entry; ++entry) {
    if (::strncasecmp(*entry, name, length) == 0 && (*entry)[length] == '=') return *entry + length + 1;
  }
  return nullptr;
}

std::vector<std::string> names_matching(const char* name) {
  std::vector<std::string> names;
  size_t length = std::strlen(name);
  for (char** entry = environ; entry && *entry; ++entry) {
    if (::strncasecmp(*entry, name, length) == 0 && (*entry)[length] == '=')
      names.emplace_back(*entry, length);
  }
  return names;
}

// glibc's setenv and unsetenv refuse names with '=', and Windows keeps the
// per-drive directories as "=C:" and the like: such entries are edited in environ
// directly. Replaced entries and arrays are never freed, as someone may hold them.
void remove_entries(const char* name) {
  size_t length = std::strlen(name);
  char** out = environ;
  for (char** entry = environ; entry && *entry; ++entry) {
    if (::strncasecmp(*entry, name, length) == 0 && (*entry)[length] == '=') continue;
    *out++ = *entry;
  }
  if (out) *out = nullptr;
}

bool add_entry(const char* name, const char* value) {
  size_t count = 0;
  while (environ && environ[count]) ++count;
  auto** grown = static_cast<char**>(std::malloc((count + 2) * sizeof(char*)));
  std::string text = std::string(name) + "=" + value;
  char* entry = ::strdup(text.c_str());
  if (!grown || !entry) {
    std::free(grown);
    std::free(entry);
    return false;
  }
  // Kept reachable: environ may move on (setenv reallocates) while others still hold these.
  static auto* kept = new std::vector<void*>;
  kept->push_back(grown);
  kept->push_back(entry);
  for (size_t i = 0; i < count; ++i) grown[i] = environ[i];
  grown[count] = entry;
  grown[count + 1] = nullptr;
  environ = grown;
  return true;
}

}  // namespace

extern "C" {

// The arguments that the command line could not carry come first, as ~ entries;
// the host's own ~ entries would then be taken for arguments too, so they go.
LPSTR WINAPI GetEnvironmentStrings(void) {
  std::lock_guard guard(environment_mutex);
  const std::vector<std::string>* handed_over = handed_over_arguments();
  std::vector<std::string> entries;
  if (handed_over)
    for (const std::string& argument : *handed_over) entries.push_back("~" + argument);
  for (char** entry = environ; entry && *entry; ++entry)
    if (!handed_over || (*entry)[0] != '~') entries.emplace_back(*entry);
  size_t size = 1;
  for (const std::string& entry : entries) size += entry.size() + 1;
  if (size == 1) size = 2;  // an empty block is still two NULs
  auto* block = static_cast<char*>(std::calloc(size, 1));
  if (!block) return fail(ENOMEM, Call::environment, LPSTR{nullptr});
  char* next = block;
  for (const std::string& entry : entries) {
    std::memcpy(next, entry.c_str(), entry.size() + 1);
    next += entry.size() + 1;
  }
  return block;
}

BOOL WINAPI FreeEnvironmentStringsA(LPSTR penv) {
  std::free(penv);
  return TRUE;
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
  std::lock_guard guard(environment_mutex);
  const char* value = lpName ? find_value(lpName) : nullptr;
  if (!value) return fail(ENOENT, Call::environment, DWORD{0});
  DWORD length = static_cast<DWORD>(std::strlen(value));
  if (nSize <= length || !lpBuffer) return length + 1;
  std::memcpy(lpBuffer, value, length + 1);
  return length;
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue) {
  // '=' may only lead the name, as in "=C:".
  if (!lpName || !*lpName || std::strchr(lpName + 1, '=')) return fail(EINVAL, Call::environment, FALSE);
  std::lock_guard guard(environment_mutex);
  if (lpName[0] == '=') {
    remove_entries(lpName);
    if (lpValue && !add_entry(lpName, lpValue)) return fail(ENOMEM, Call::environment, FALSE);
    return TRUE;
  }
  for (auto& name : names_matching(lpName)) ::unsetenv(name.c_str());
  if (lpValue && ::setenv(lpName, lpValue, 1) != 0) return fail(errno, Call::environment, FALSE);
  return TRUE;
}

}  // extern "C"
