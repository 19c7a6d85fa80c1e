// Settings of the Windows API layer that only exist on POSIX hosts.
#pragma once

extern "C" {

// Makes the n-th heap allocation from now on (HeapAlloc or HeapReAlloc, the next
// one being 1) fail; 0 switches injected failures off. The in-process form of
// the WINAPI_HEAP_FAIL_AT setting.
void WinapiSetHeapFailAt(long n);

// Makes 932 (Shift-JIS) or 65001 (UTF-8) the ANSI and OEM code page from now on;
// any other value goes back to the WINAPI_CODEPAGE setting. The in-process form
// of that setting, which is otherwise read once.
void WinapiSetCodePage(unsigned page);

}  // extern "C"
