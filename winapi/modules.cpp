#include <windows.h>

#include <cctype>
#include <cstring>
#include <string>

// Message modules and other DLLs do not exist on POSIX hosts. kernel32.dll stands
// for the layer itself, so that a run-time look-up of a kernel32 call finds it.
namespace {

char kernel32_image;  // its address is the module handle

HMODULE kernel32() { return static_cast<HMODULE>(&kernel32_image); }

bool names_kernel32(const char* name) {
  std::string lower;
  for (const char* p = name; *p; ++p) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  size_t slash = lower.find_last_of("\\/");
  if (slash != std::string::npos) lower.erase(0, slash + 1);
  return lower == "kernel32.dll" || lower == "kernel32";
}

}  // namespace

extern "C" HMODULE WINAPI LoadLibraryExA(LPCSTR, HANDLE, DWORD) {
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (lpLibFileName && names_kernel32(lpLibFileName)) return kernel32();
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (hModule != kernel32()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // Ordinals (values below 0x10000) name nothing here.
  if (reinterpret_cast<uintptr_t>(lpProcName) >= 0x10000 && std::strcmp(lpProcName, "GetVolumePathNameA") == 0)
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&GetVolumePathNameA));
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  if (hLibModule == kernel32()) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}
