// Points the runtime's environment at one entry of the test's own for a scope.
#pragma once

#include <zav/startup.h>

namespace ztest {

class RuntimeEnvironment {
 public:
  explicit RuntimeEnvironment(const char* entry) : saved_(zav::environ_) {
    entries_[0] = const_cast<char*>(entry);
    zav::environ_ = entries_;
  }
  ~RuntimeEnvironment() { zav::environ_ = saved_; }
  RuntimeEnvironment(const RuntimeEnvironment&) = delete;
  RuntimeEnvironment& operator=(const RuntimeEnvironment&) = delete;

 private:
  char** saved_;
  char* entries_[2] = {nullptr, nullptr};
};

}  // namespace ztest
