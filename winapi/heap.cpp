// The process heap over the host allocator. Each block starts with a header that
// keeps the size asked for: HeapSize answers it and HeapReAlloc zero-fills exactly
// the bytes it adds.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <windows.h>
#include <winapi_settings.h>

namespace {

struct alignas(16) Header {
  SIZE_T size;
};

int process_heap_tag;

std::atomic<long> allocations{0};
std::atomic<long> fail_at{0};  // the number of the allocation that fails, 0 for none
std::once_flag setting_read;

// Allocations before main count too, so the setting is read at the first one.
void read_setting() {
  std::call_once(setting_read, [] {
    if (const char* value = std::getenv("WINAPI_HEAP_FAIL_AT")) {
      long n = std::strtol(value, nullptr, 10);
      if (n > 0) fail_at = n;
    }
  });
}

bool next_allocation_fails() {
  read_setting();
  long number = ++allocations;
  return number == fail_at.load();
}

// The host allocator cannot give more than PTRDIFF_MAX; asking it would only
// make sanitizers complain about a request Windows refuses as well.
bool too_big(SIZE_T bytes) { return bytes > PTRDIFF_MAX - sizeof(Header); }

Header* header_of(LPCVOID memory) {
  return static_cast<Header*>(const_cast<void*>(memory)) - 1;
}

}  // namespace

extern "C" {

void WinapiSetHeapFailAt(long n) {
  read_setting();
  fail_at = n > 0 ? allocations.load() + n : 0;
}

HANDLE WINAPI GetProcessHeap(void) { return &process_heap_tag; }

LPVOID WINAPI HeapAlloc(HANDLE, DWORD dwFlags, SIZE_T dwBytes) {
  if (next_allocation_fails() || too_big(dwBytes)) return nullptr;
  auto* header = static_cast<Header*>(std::malloc(sizeof(Header) + dwBytes));
  if (!header) return nullptr;
  header->size = dwBytes;
  if (dwFlags & HEAP_ZERO_MEMORY) std::memset(header + 1, 0, dwBytes);
  return header + 1;
}

LPVOID WINAPI HeapReAlloc(HANDLE, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes) {
  if (!lpMem || next_allocation_fails() || too_big(dwBytes)) return nullptr;
  Header* header = header_of(lpMem);
  SIZE_T old_size = header->size;
  if (dwFlags & HEAP_REALLOC_IN_PLACE_ONLY) {
    if (dwBytes > old_size) return nullptr;
    header->size = dwBytes;
    return lpMem;
  }
  auto* moved = static_cast<Header*>(std::realloc(header, sizeof(Header) + dwBytes));
  if (!moved) return nullptr;
  moved->size = dwBytes;
  if ((dwFlags & HEAP_ZERO_MEMORY) && dwBytes > old_size)
    std::memset(reinterpret_cast<char*>(moved + 1) + old_size, 0, dwBytes - old_size);
  return moved + 1;
}

BOOL WINAPI HeapFree(HANDLE, DWORD, LPVOID lpMem) {
  if (lpMem) std::free(header_of(lpMem));
  return TRUE;
}

SIZE_T WINAPI HeapSize(HANDLE, DWORD, LPCVOID lpMem) {
  if (!lpMem) return static_cast<SIZE_T>(-1);
  return header_of(lpMem)->size;
}

}  // extern "C"
