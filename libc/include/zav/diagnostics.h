// Diagnostics on the standard error stream.
#pragma once

#include <cstdarg>

namespace zav {

// "name: " + message + ": " + the text of errno_ at entry + newline. errno_ is unchanged.
int eprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

using fatal_error_handler_fn = void (*)(const char* format, va_list args);
extern fatal_error_handler_fn fatal_error_handler;

// Writes the message and ends the process with status 1. A format beginning with
// '!' also gets the error text; "number##default" formats are looked up first.
[[noreturn]] void fatal_error(const char* format, ...);
[[noreturn]] void default_fatal_error_handler(const char* format, va_list args);

// Writes a usage text unchanged (not a format) and returns what fputs returns.
int print_usage(const char* text);

}  // namespace zav
