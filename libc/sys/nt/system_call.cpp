// Run-time look-up of calls that older systems lack.
#include <zav/system_call.h>

namespace zav {

FARPROC look_up_system_call(const char* module, const char* name) {
  HMODULE loaded = LoadLibraryA(module);
  return loaded != nullptr ? GetProcAddress(loaded, name) : nullptr;
}

}  // namespace zav
