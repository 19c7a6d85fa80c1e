#include <atomic>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <windows.h>

namespace {

// LOWORD: major and minor version; HIWORD: the build, with the high bit set on
// Windows 95/98.
constexpr DWORD version(DWORD major, DWORD minor, DWORD build) { return build << 16 | minor << 8 | major; }

constexpr DWORD windows_xp = version(5, 1, 2600);
constexpr DWORD windows_95 = version(4, 0, 0xC000 | 950);
constexpr DWORD windows_98 = version(4, 10, 0xC000 | 1998);

// Kept only to be given back: no fault on a Linux host opens an error box.
std::atomic<UINT> error_mode{0};

}  // namespace

extern "C" {

DWORD WINAPI GetVersion(void) {
  const char* setting = std::getenv("WINAPI_VERSION");
  if (setting && std::strcmp(setting, "95") == 0) return windows_95;
  if (setting && std::strcmp(setting, "98") == 0) return windows_98;
  return windows_xp;
}

[[noreturn]] void WINAPI ExitProcess(UINT uExitCode) { ::_exit(static_cast<int>(uExitCode & 0xFF)); }

HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(::getpid()); }

UINT WINAPI SetErrorMode(UINT uMode) { return error_mode.exchange(uMode); }

// The layer has no file mapping objects, and no handle outlives the process
// that opened it, so no parent can hand one down: every handle is refused.
LPVOID WINAPI MapViewOfFile(HANDLE, DWORD, DWORD, DWORD, SIZE_T) {
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

}  // extern "C"
