#include <windows.h>
#include <shellapi.h>

#include <cctype>
#include <cstring>
#include <string>

// Message modules and other DLLs do not exist on POSIX hosts. kernel32.dll and
// shell32.dll stand for the layer itself, so that a run-time look-up of a call
// that older systems lack finds it.
namespace {

struct Export {
  const char* name;
  void* address;
};

struct Module {
  const char* name;  // lower case, without ".dll"
  Export exports[1];
};

const Module modules[] = {
    {"kernel32", {{"GetVolumePathNameA", reinterpret_cast<void*>(&GetVolumePathNameA)}}},
    {"shell32", {{"SHFileOperationW", reinterpret_cast<void*>(&SHFileOperationW)}}},
};

// A module's handle is its entry's address.
HMODULE handle_of(const Module& module) { return reinterpret_cast<HMODULE>(const_cast<Module*>(&module)); }

const Module* module_named(const char* name) {
  std::string lower;
  for (const char* p = name; *p; ++p) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  size_t slash = lower.find_last_of("\\/");
  if (slash != std::string::npos) lower.erase(0, slash + 1);
  if (lower.ends_with(".dll")) lower.erase(lower.size() - 4);
  for (const Module& module : modules)
    if (lower == module.name) return &module;
  return nullptr;
}

const Module* module_of(HMODULE handle) {
  for (const Module& module : modules)
    if (handle == handle_of(module)) return &module;
  return nullptr;
}

}  // namespace

extern "C" HMODULE WINAPI LoadLibraryExA(LPCSTR, HANDLE, DWORD) {
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (const Module* module = lpLibFileName ? module_named(lpLibFileName) : nullptr) return handle_of(*module);
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  const Module* module = module_of(hModule);
  if (!module) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // Ordinals (values below 0x10000) name nothing here.
  if (reinterpret_cast<uintptr_t>(lpProcName) >= 0x10000)
    for (const Export& entry : module->exports)
      if (std::strcmp(lpProcName, entry.name) == 0) return reinterpret_cast<FARPROC>(entry.address);
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  if (module_of(hLibModule)) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}
