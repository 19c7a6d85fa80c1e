#include <zav/startup.h>
#include <zav/stdlib.h>

#include <cstring>

namespace zav {

char** environ_ = nullptr;

char* getenv(const char* name) {
  if (environ_ == nullptr || name == nullptr) return nullptr;
  std::size_t length = std::strlen(name);
  for (char** entry = environ_; *entry != nullptr; ++entry) {
    if ((*entry)[0] == name[0] && std::strncmp(*entry, name, length) == 0 && (*entry)[length] == '=')
      return *entry + length + 1;
  }
  return nullptr;
}

}  // namespace zav
