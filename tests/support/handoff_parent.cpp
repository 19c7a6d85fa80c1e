// The parent side of the argument handoff, for the start-up tests on Windows:
//
//   handoff_parent [--set=NAME=VALUE...] MODE PROGRAM COMMAND_LINE [ARGUMENT...]
//
// starts PROGRAM with COMMAND_LINE as its command line, as is (so a TAB after
// the command name can be given), and its own environment with the variables
// set (Wine leaves out host variables such as "~name", which a parent sets).
// With MODE "block" it also hands the ARGUMENTs over in an inherited file
// mapping named by ZAVARGS; with "stranger" the block names another process;
// with "none" there is no block. Exits with the child's exit code, and writes
// all 32 bits of it to standard error.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <windows.h>

namespace {

int fail(const char* what) {
  std::fprintf(stderr, "handoff_parent: %s failed (%lu)\n", what, GetLastError());
  return 120;
}

void put_word(unsigned char* view, size_t offset, uint32_t word) { std::memcpy(view + offset, &word, sizeof word); }

}  // namespace

int main(int argc, char** argv) {
  static const char set_option[] = "--set=";
  while (argc > 1 && std::strncmp(argv[1], set_option, sizeof set_option - 1) == 0) {
    std::string setting = argv[1] + sizeof set_option - 1;
    size_t equals = setting.find('=', 1);
    if (equals == std::string::npos) return 121;
    if (!SetEnvironmentVariableA(setting.substr(0, equals).c_str(), setting.c_str() + equals + 1))
      return fail("SetEnvironmentVariableA");
    ++argv;
    --argc;
  }
  if (argc < 4) {
    std::fprintf(stderr, "usage: handoff_parent [--set=NAME=VALUE...] block|stranger|none PROGRAM COMMAND_LINE [ARGUMENT...]\n");
    return 121;
  }
  const std::string mode = argv[1];
  std::string command_line = argv[3];
  const bool handing_over = mode == "block" || mode == "stranger";

  HANDLE mapping = nullptr;
  unsigned char* view = nullptr;
  if (handing_over) {
    std::vector<unsigned char> block(20);
    put_word(block.data(), 16, static_cast<uint32_t>(argc - 4));
    for (int i = 4; i < argc; ++i) block.insert(block.end(), argv[i], argv[i] + std::strlen(argv[i]) + 1);
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, &inheritable, PAGE_READWRITE, 0,
                                 static_cast<DWORD>(block.size()), nullptr);
    if (mapping == nullptr) return fail("CreateFileMappingA");
    view = static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (view == nullptr) return fail("MapViewOfFile");
    std::memcpy(view, block.data(), block.size());
    char value[32];
    std::snprintf(value, sizeof value, "%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(mapping)));
    SetEnvironmentVariableA("ZAVARGS", value);
  }

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(argv[2], command_line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                      &startup, &process))
    return fail("CreateProcessA");
  if (view != nullptr)
    put_word(view, 8, mode == "stranger" ? process.dwProcessId + 4 : process.dwProcessId);
  ResumeThread(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  std::fprintf(stderr, "child exit code %08lx\n", status);
  return static_cast<int>(status);
}
