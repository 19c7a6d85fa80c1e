// The process-heap allocator: zero-filled blocks, realloc, strdup, failures and
// the lock wrappers.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#if !defined(_WIN32)
#include <winapi_settings.h>
#endif

#include <zav/errno.h>
#include <zav/fcntl.h>
#include <zav/runtime_lock.h>
#include <zav/stdio.h>
#include <zav/stdlib.h>
#include <zav/unistd.h>

#include "scratch_dir.h"

namespace {

using namespace zav;

bool all_zero(const void* block, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(block);
  for (std::size_t i = 0; i < size; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

TEST(Memory, BlocksComeZeroFilled) {
  for (std::size_t size : {1u, 100u, 4096u, 100000u}) {
    void* block = zav::malloc(size);
    ASSERT_NE(block, nullptr) << size;
    EXPECT_TRUE(all_zero(block, size)) << size;
    std::memset(block, 0x5A, size);
    zav::free(block);
  }
  void* a = zav::malloc(0);
  void* b = zav::malloc(0);
  EXPECT_NE(a, nullptr);
  EXPECT_NE(b, nullptr);
  EXPECT_NE(a, b) << "malloc(0) gives distinct blocks";
  zav::free(a);
  zav::free(b);
}

TEST(Memory, ReallocKeepsTheOldBytesAndZeroesTheNewOnes) {
  auto* block = static_cast<unsigned char*>(zav::malloc(16));
  ASSERT_NE(block, nullptr);
  std::memset(block, 0xAB, 16);
  block = static_cast<unsigned char*>(zav::realloc(block, 8192));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], 0xAB) << i;
  EXPECT_TRUE(all_zero(block + 16, 8192 - 16));
  zav::free(block);

  void* fresh = zav::realloc(nullptr, 64);
  ASSERT_NE(fresh, nullptr);
  EXPECT_TRUE(all_zero(fresh, 64));
  zav::free(fresh);
}

TEST(Memory, Strdup) {
  char* empty = zav::strdup("");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], '\0');
  const char text[] = "some text";
  char* copy = zav::strdup(text);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, text);
  EXPECT_STREQ(copy, text);
  zav::free(empty);
  zav::free(copy);
}

// Callers read the last error of a failed call after allocating for their report.
TEST(Memory, AllocationsLeaveTheCallersLastErrorAlone) {
  SetLastError(ERROR_NO_MORE_FILES);
  char* block = static_cast<char*>(zav::malloc(8));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  char* grown = static_cast<char*>(zav::realloc(block, 1 << 16));
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  zav::free(grown);
}

TEST(Memory, FreeOfNullWritesNothing) {
  ztest::ScratchDir dir;
  const std::string name = dir.file("stderr");
  zav::free(zav::malloc(1));  // the heap is set up by now
  const int saved = zav::fcntl(2, F_DUPFD_, 30);
  const int file = zav::open(name.c_str(), O_WRONLY_ | O_CREAT_, 0666);
  ASSERT_EQ(zav::dup2(file, 2), 2);
  zav::close(file);
  zav::free(nullptr);
  zav::fflush(stderr_);
  zav::dup2(saved, 2);
  zav::close(saved);
  EXPECT_EQ(ztest::ScratchDir::contents(name), "");
}

TEST(Memory, FreeBeforeTheHeapExistsSaysSoAndReturns) {
  ztest::ScratchDir dir;
  const std::string name = dir.file("before.txt");
  void* const heap = zav::process_heap;
  const int saved = zav::fcntl(2, F_DUPFD_, 30);
  const int file = zav::open(name.c_str(), O_WRONLY_ | O_CREAT_, 0666);
  ASSERT_EQ(zav::dup2(file, 2), 2);
  zav::close(file);
  // The stream may fetch the heap again for its first buffer: forget it each time.
  zav::process_heap = nullptr;
  zav::free(reinterpret_cast<void*>(0xabc0));
  zav::process_heap = nullptr;
  zav::free(nullptr);
  zav::process_heap = heap;
  zav::fflush(stderr_);
  zav::dup2(saved, 2);
  zav::close(saved);
  const std::string line = ": free(0xabc0) failed: heap not initialized";
  const std::string text = ztest::ScratchDir::contents(name);
  const std::string nl = text.find('\r') != std::string::npos ? "\r\n" : "\n";
  EXPECT_EQ(text, line + nl + line.substr(0, 7) + "0x0) failed: heap not initialized" + nl);
}

TEST(Memory, LocksCanBeEnteredRecursively) {
  runtime_lock lock{nullptr};
  lock_create(&lock);
  ASSERT_NE(lock.section, nullptr);
  lock_enter(&lock);
  lock_enter(&lock);
  lock_leave(&lock);
  lock_leave(&lock);
  lock_destroy(&lock);
  EXPECT_EQ(lock.section, nullptr);
}

#if defined(_WIN32)

TEST(MemoryFailures, Injected) {
  GTEST_SKIP() << "allocation failures are injected through the host Windows API layer only";
}

#else

// Switches injection off again however the test ends.
struct FailAt {
  explicit FailAt(long n) { WinapiSetHeapFailAt(n); }
  ~FailAt() { WinapiSetHeapFailAt(0); }
};

TEST(MemoryFailures, MallocFailsWithErrnoFromTheLastError) {
  {
    FailAt fail(1);
    SetLastError(0);
    errno_ = 0;
    EXPECT_EQ(zav::malloc(32), nullptr);
    EXPECT_EQ(errno_, ENOMEM_) << "no last error reads as ENOMEM";
  }
  {
    FailAt fail(1);
    SetLastError(ERROR_INVALID_HANDLE);
    errno_ = 0;
    EXPECT_EQ(zav::strdup("x"), nullptr);
    EXPECT_EQ(errno_, ENOMEM_) << "what an earlier call left in the last error is not the heap's";
  }
  FailAt fail(2);
  void* ok = zav::malloc(8);
  EXPECT_NE(ok, nullptr) << "only the second allocation fails";
  EXPECT_EQ(zav::malloc(8), nullptr);
  zav::free(ok);
}

TEST(MemoryFailures, FailedReallocLeavesTheBlockAlone) {
  char* block = zav::strdup("keep me");
  ASSERT_NE(block, nullptr);
  {
    FailAt fail(1);
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(zav::realloc(block, 1 << 20), nullptr);
    EXPECT_EQ(errno_, ENOMEM_);
  }
  EXPECT_STREQ(block, "keep me");
  zav::free(block);
}

TEST(MemoryFailures, ALockWithoutASectionDoesNothing) {
  runtime_lock lock{nullptr};
  {
    FailAt fail(1);
    lock_create(&lock);
  }
  EXPECT_EQ(lock.section, nullptr);
  lock_enter(&lock);
  lock_leave(&lock);
  lock_destroy(&lock);
  EXPECT_EQ(lock.section, nullptr);
}

#endif

}  // namespace
