// Memory, termination and exit handlers.
#pragma once

#include <cstddef>

namespace zav {

void* malloc(std::size_t size);
void* realloc(void* block, std::size_t size);
void free(void* block);
char* strdup(const char* text);
// Fills the process heap handle; `what` names the caller ("malloc()", "realloc()")
// in the diagnostic written when the system has no heap to give.
void init_process_heap(const char* what);
// The Win32 process heap, filled by the first malloc or realloc.
extern void* process_heap;

// The value of environment entry `name` in environ_ (exact name compare), or null.
char* getenv(const char* name);

int atexit(void (*fn)());
[[noreturn]] void exit(int status);
[[noreturn]] void _exit(int status);
[[noreturn]] void abort();

// Called by _exit with the status before the process ends.
extern void (*exit_hook)(int status);
// Set by stdio when the first stream gets its buffer; exit calls it after the handlers.
extern void (*stream_close_hook)();

}  // namespace zav
