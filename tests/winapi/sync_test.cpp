// Critical sections, the thread-local last error, Sleep.
#include "conformance.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace conformance;

namespace {

TEST(CriticalSection, RecursiveForTheOwnerExclusiveForOthers) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);
  EXPECT_TRUE(TryEnterCriticalSection(&section)) << "the owner enters again";
  LeaveCriticalSection(&section);

  auto other_thread_enters = [&section] {
    BOOL entered = FALSE;
    std::thread other([&] {
      entered = TryEnterCriticalSection(&section);
      if (entered) LeaveCriticalSection(&section);
    });
    other.join();
    return entered;
  };
  EXPECT_FALSE(other_thread_enters());
  LeaveCriticalSection(&section);
  EXPECT_FALSE(other_thread_enters()) << "one leave of two released the section";
  LeaveCriticalSection(&section);
  EXPECT_TRUE(other_thread_enters());
  DeleteCriticalSection(&section);
}

TEST(LastError, IsPerThread) {
  // Only spinning on atomics between the calls: thread start and join may
  // change the last error themselves.
  std::atomic<int> step{0};
  DWORD seen_first = 0, seen_second = 0;
  std::thread first([&] {
    SetLastError(111);
    step = 1;
    while (step != 2) {
    }
    seen_first = GetLastError();
  });
  std::thread second([&] {
    while (step != 1) {
    }
    SetLastError(222);
    step = 2;
    seen_second = GetLastError();
  });
  first.join();
  second.join();
  EXPECT_EQ(seen_first, 111u);
  EXPECT_EQ(seen_second, 222u);
}

TEST(Sleep, WaitsAtLeastTheTimeAskedFor) {
  auto start = std::chrono::steady_clock::now();
  Sleep(60);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 55);
}

}  // namespace
