// errno as Win32 error codes, and the runtime's own error values.
//
// Names that are macros in the C libraries we build with (errno, stdin, stdout,
// stderr, environ, and the E*, O_*, SEEK_*, SIG* constants) take a trailing
// underscore throughout the runtime, so they never meet the host's macros.
#pragma once

namespace zav {

extern int errno_;

inline constexpr int EINVAL_ = 1;
inline constexpr int ENOENT_ = 2;
inline constexpr int ENOTDIR_ = 3;
inline constexpr int EMFILE_ = 4;
inline constexpr int EACCES_ = 5;
inline constexpr int EBADF_ = 6;
inline constexpr int ENOMEM_ = 8;
inline constexpr int EXDEV_ = 17;
inline constexpr int EEXIST_ = 183;
inline constexpr int EILSEQ_ = 1113;
// The runtime's own values -1 to -10, from the one table in error_values.def.
#define ZAV_ERROR_VALUE(value, name, number, text) inline constexpr int name = value;
#include <zav/error_values.def>
#undef ZAV_ERROR_VALUE

struct own_error_value {
  int value;
  const char* name;
  int message_number;
  const char* default_text;
  const char* stored_text;  // "number##default text", as string_message reads it
};

inline constexpr own_error_value own_error_values[] = {
#define ZAV_ERROR_VALUE(value, name, number, text) {value, #name, number, text, #number "##" text},
#include <zav/error_values.def>
#undef ZAV_ERROR_VALUE
};

// The last valid index of own_error_values; the row of value v is -1 - v.
inline constexpr int own_error_bound = sizeof(own_error_values) / sizeof(own_error_values[0]) - 1;

// Sets errno_ from GetLastError() and returns -1, so a failing call can end with
// `return set_errno_from_last_error();`.
int set_errno_from_last_error();

// Sets errno_ to `code` and returns -1.
int fail_with(int code);

}  // namespace zav
