// Prints the argument vector and environment that start-up built, and whether
// faults are kept from the error box. An argument "fault" makes the probe fault
// after registering an exit handler, which must not run.
#include <cstdint>
#include <cstring>
#include <windows.h>

#include <zav/startup.h>
#include <zav/stdio.h>
#include <zav/stdlib.h>

namespace {

void handler_on_stdout() { zav::fputs("exit handler ran\n", zav::stdout_); }

// Read at run time, so that the compiler cannot see the fault coming.
uintptr_t volatile nowhere = 0;

}  // namespace

int zav::main(int argc, char** argv, char** envp) {
  using namespace zav;
  printf("argc %d\n", argc);
  bool fault = false;
  for (int i = 0; i < argc; ++i) {
    printf("arg [%s]\n", argv[i]);
    fault = fault || std::strcmp(argv[i], "fault") == 0;
  }
  if (argv[argc] != nullptr) fputs("argv not terminated\n", stdout_);
  for (char** entry = envp; *entry != nullptr; ++entry) printf("env %s\n", *entry);
  UINT mode = SetErrorMode(0);
  SetErrorMode(mode);
  printf("no fault box %s\n", (mode & SEM_NOGPFAULTERRORBOX) != 0 ? "yes" : "no");
  if (fault) {
    atexit(handler_on_stdout);
    fflush(stdout_);
    *reinterpret_cast<int volatile*>(nowhere) = 1;
  }
  return 0;
}
