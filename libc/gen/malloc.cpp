// malloc and friends over the Win32 process heap. Every block comes zero-filled;
// heap failures are reported on standard error and never end the process.
#include <windows.h>

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <zav/errno.h>
#include <zav/getopt.h>
#include <zav/stdlib.h>
#include <zav/string.h>
#include <zav/unistd.h>

namespace zav {

HANDLE process_heap = nullptr;

namespace {

// HeapAlloc and HeapReAlloc do not set the last error when they fail, so it is
// cleared before the call: a failure then reads as "out of memory", not as
// whatever an earlier call left there. A success gives the caller's value back.
template <typename HeapCall>
void* call_heap(HeapCall heap_call) {
  const DWORD earlier = GetLastError();
  SetLastError(0);
  if (void* block = heap_call()) {
    SetLastError(earlier);
    return block;
  }
  const DWORD code = GetLastError();
  errno_ = code != 0 ? static_cast<int>(code) : ENOMEM_;
  return nullptr;
}

const char* name_for_diagnostic() { return utility_name != nullptr ? utility_name : ""; }

// Straight to the standard error descriptor, with the platform's line end:
// stdio allocates from this heap, so the heap cannot report through stdio.
void report(const char* format, ...) {
  char line[512];
  std::va_list arguments;
  va_start(arguments, format);
  const int n = std::vsnprintf(line, sizeof line - 1, format, arguments);
  va_end(arguments);
  if (n <= 0) return;
  std::size_t length = static_cast<std::size_t>(n) < sizeof line - 2 ? static_cast<std::size_t>(n) : sizeof line - 2;
  if (text_mode_uses_crlf && line[length - 1] == '\n') {
    line[length - 1] = '\r';
    line[length++] = '\n';
  }
  write(2, line, length);
}

}  // namespace

void init_process_heap(const char* what) {
  process_heap = GetProcessHeap();
  if (process_heap != nullptr) return;
  const int code = static_cast<int>(GetLastError());
  report("%s: %s%s failed: GetProcessHeap() failed: %s\n", name_for_diagnostic(), "", what, strerror(code));
  errno_ = code;
}

void* malloc(std::size_t size) {
  if (process_heap == nullptr) {
    init_process_heap("malloc()");
    if (process_heap == nullptr) return nullptr;
  }
  return call_heap([size] { return HeapAlloc(process_heap, HEAP_ZERO_MEMORY, size); });
}

void* realloc(void* block, std::size_t size) {
  if (block == nullptr) return malloc(size);
  if (process_heap == nullptr) {
    init_process_heap("realloc()");
    if (process_heap == nullptr) return nullptr;
  }
  return call_heap(
      [block, size] { return HeapReAlloc(process_heap, HEAP_ZERO_MEMORY, block, size); });
}

void free(void* block) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(block);
  if (process_heap == nullptr) {
    report("%s: %sfree(0x%" PRIxPTR ") failed: heap not initialized\n", name_for_diagnostic(), "", address);
    return;
  }
  if (block == nullptr) return;
  if (!HeapFree(process_heap, 0, block)) {
    const int code = static_cast<int>(GetLastError());
    report("%s: %sfree(0x%" PRIxPTR ") failed: HeapFree() failed: %s\n", name_for_diagnostic(), "", address,
           strerror(code));
  }
}

char* strdup(const char* text) {
  const std::size_t length = std::strlen(text);
  char* copy = static_cast<char*>(malloc(length + 1));
  if (copy != nullptr) std::memcpy(copy, text, length + 1);
  return copy;
}

}  // namespace zav
