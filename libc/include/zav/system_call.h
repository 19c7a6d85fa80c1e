// Calls that older systems lack, found at run time: a program that imports a call
// its system lacks does not start there. For the runtime's own use.
#pragma once

#include <windows.h>

namespace zav {

// The address of `name` in the system module `module`, or null.
FARPROC look_up_system_call(const char* module, const char* name);

// One such call, looked up at its first use and kept.
template <typename Function>
class SystemCall {
 public:
  constexpr SystemCall(const char* module, const char* name) : module_(module), name_(name) {}

  // Null when the system lacks the call.
  Function get() {
    if (!looked_up_) {
      looked_up_ = true;
      function_ = reinterpret_cast<Function>(reinterpret_cast<void*>(look_up_system_call(module_, name_)));
    }
    return function_;
  }

 private:
  const char* module_;
  const char* name_;
  bool looked_up_ = false;
  Function function_ = nullptr;
};

}  // namespace zav
