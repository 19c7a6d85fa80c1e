// The process heap: sizes, zero-filling, failures and injected failures.
#include "conformance.h"

#include <cstring>
#include <string>
#include <vector>

#ifndef _WIN32
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <winapi_settings.h>
extern char** environ;
#endif

using namespace conformance;

namespace {

bool all_bytes(const void* memory, size_t from, size_t to, unsigned char value) {
  auto* bytes = static_cast<const unsigned char*>(memory);
  for (size_t i = from; i < to; ++i)
    if (bytes[i] != value) return false;
  return true;
}

TEST(Heap, SizeIsTheSizeAskedFor) {
  HANDLE heap = GetProcessHeap();
  ASSERT_NE(heap, nullptr);
  void* block = HeapAlloc(heap, 0, 10);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(HeapSize(heap, 0, block), 10u);
  block = HeapReAlloc(heap, 0, block, 3);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(HeapSize(heap, 0, block), 3u);
  SetLastError(sentinel);
  EXPECT_TRUE(HeapFree(heap, 0, block));
  EXPECT_EQ(GetLastError(), sentinel);
}

TEST(Heap, ZeroMemoryOnAllocation) {
  HANDLE heap = GetProcessHeap();
  auto* block = HeapAlloc(heap, HEAP_ZERO_MEMORY, 4096);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(all_bytes(block, 0, 4096, 0));
  HeapFree(heap, 0, block);
}

TEST(Heap, ReAllocZeroFillsOnlyTheBytesItAdds) {
  HANDLE heap = GetProcessHeap();
  for (SIZE_T grown : {SIZE_T{17}, SIZE_T{100}, SIZE_T{100000}}) {
    SCOPED_TRACE(grown);
    auto* block = HeapAlloc(heap, 0, 13);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0xAB, 13);
    block = HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, grown);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(all_bytes(block, 0, 13, 0xAB)) << "the old contents were not kept";
    EXPECT_TRUE(all_bytes(block, 13, grown, 0)) << "the added bytes are not zero";
    EXPECT_EQ(HeapSize(heap, 0, block), grown);
    HeapFree(heap, 0, block);
  }
}

TEST(Heap, ReAllocOfAShrunkBlockZeroFillsFromItsNewSize) {
  HANDLE heap = GetProcessHeap();
  auto* block = HeapAlloc(heap, 0, 64);
  ASSERT_NE(block, nullptr);
  std::memset(block, 0xCD, 64);
  block = HeapReAlloc(heap, 0, block, 8);
  ASSERT_NE(block, nullptr);
  block = HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 64);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(all_bytes(block, 0, 8, 0xCD));
  EXPECT_TRUE(all_bytes(block, 8, 64, 0)) << "bytes past the shrunk size came back";
  HeapFree(heap, 0, block);
}

TEST(Heap, ImpossibleRequestsFailWithNull) {
  HANDLE heap = GetProcessHeap();
  SetLastError(sentinel);
  EXPECT_EQ(HeapAlloc(heap, 0, ~SIZE_T{0} - 64), nullptr);
  EXPECT_KNOWN_WINE_DIFFERENCE(GetLastError(), sentinel, DWORD{ERROR_NOT_ENOUGH_MEMORY},
                               "Wine sets the last error when HeapAlloc fails, Windows does not");
  SetLastError(sentinel);
  EXPECT_EQ(HeapReAlloc(heap, 0, nullptr, 10), nullptr);
  EXPECT_EQ(GetLastError(), sentinel);
  EXPECT_TRUE(HeapFree(heap, 0, nullptr));
}

#ifndef _WIN32
TEST(Heap, InjectedFailureHitsTheNthAllocation) {
  HANDLE heap = GetProcessHeap();
  WinapiSetHeapFailAt(3);
  void* first = HeapAlloc(heap, 0, 8);
  void* second = HeapReAlloc(heap, 0, first, 16);
  SetLastError(sentinel);
  void* third = HeapAlloc(heap, 0, 8);
  void* fourth = HeapAlloc(heap, 0, 8);
  EXPECT_NE(first, nullptr);
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(third, nullptr);
  EXPECT_EQ(GetLastError(), sentinel) << "a failed HeapAlloc set the last error";
  EXPECT_NE(fourth, nullptr) << "only the n-th allocation fails";
  HeapFree(heap, 0, second);
  HeapFree(heap, 0, fourth);
}

TEST(Heap, InjectedReAllocFailureKeepsTheBlock) {
  HANDLE heap = GetProcessHeap();
  auto* block = static_cast<char*>(HeapAlloc(heap, 0, 4));
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "abc", 4);
  WinapiSetHeapFailAt(1);
  EXPECT_EQ(HeapReAlloc(heap, 0, block, 1 << 20), nullptr);
  EXPECT_STREQ(block, "abc");
  EXPECT_EQ(HeapSize(heap, 0, block), 4u);
  HeapFree(heap, 0, block);
}

TEST(Heap, InjectionSwitchedOff) {
  HANDLE heap = GetProcessHeap();
  WinapiSetHeapFailAt(1);
  WinapiSetHeapFailAt(0);
  void* block = HeapAlloc(heap, 0, 8);
  EXPECT_NE(block, nullptr);
  HeapFree(heap, 0, block);
}

// Run in a child started with WINAPI_HEAP_FAIL_AT=2 by the test below.
TEST(HeapFailAtSettingChild, SecondAllocationOfTheProcessFails) {
  if (!std::getenv("WINAPI_HEAP_FAIL_AT")) GTEST_SKIP() << "runs only as the child of HeapFailAtSetting";
  HANDLE heap = GetProcessHeap();
  void* first = HeapAlloc(heap, 0, 8);
  void* second = HeapAlloc(heap, 0, 8);
  void* third = HeapAlloc(heap, 0, 8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  HeapFree(heap, 0, first);
  HeapFree(heap, 0, third);
}

TEST(HeapFailAtSetting, CountsFromTheStartOfTheProcess) {
  std::vector<std::string> environment{"WINAPI_HEAP_FAIL_AT=2"};
  for (char** entry = environ; *entry; ++entry)
    if (std::strncmp(*entry, "WINAPI_HEAP_FAIL_AT=", 20) != 0) environment.emplace_back(*entry);
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe";
  std::string filter = "--gtest_filter=HeapFailAtSettingChild.*";
  std::string brief = "--gtest_brief=1";
  char* argv[] = {self.data(), filter.data(), brief.data(), nullptr};
  pid_t child;
  ASSERT_EQ(posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child's checks failed";
}
#endif

}  // namespace
