// The unit tests start outside the runtime's entry, so they build its tables first.
#include <gtest/gtest.h>

#include <windows.h>

#include <zav/startup.h>
#include <zav/stdio.h>
#include <zav/unistd.h>

int main(int argc, char** argv) {
  // Tests point descriptors 0 to 2 at files and back, which closes the handles
  // in those slots; the runtime gets copies so the runner's own output survives.
  const DWORD standard[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (DWORD which : standard) {
    HANDLE copy = nullptr;
    HANDLE self = GetCurrentProcess();
    if (DuplicateHandle(self, GetStdHandle(which), self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
      SetStdHandle(which, copy);
  }
  if (zav::init_descriptor_table() != 0) return 127;
  zav::init_stream_table();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
