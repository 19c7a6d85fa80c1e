#include <zav/diagnostics.h>
#include <zav/errno.h>
#include <zav/getopt.h>
#include <zav/stdio.h>
#include <zav/stdlib.h>
#include <zav/string.h>
#include <zav/text_message.h>

namespace zav {

fatal_error_handler_fn fatal_error_handler = default_fatal_error_handler;

int eprintf(const char* format, ...) {
  int e = errno_;
  int count = 0;
  if (utility_name != nullptr) count += fprintf(stderr_, "%s: ", utility_name);
  va_list args;
  va_start(args, format);
  count += vfprintf(stderr_, format, args);
  va_end(args);
  // Only now: the message may lie in the lookup buffer that strerror reuses.
  const char* text = strerror(e);
  count += *text != '\0' ? fprintf(stderr_, ": %s\n", text) : fprintf(stderr_, ": error %d\n", e);
  errno_ = e;
  return count;
}

void fatal_error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fatal_error_handler(format, args);
  va_end(args);
  exit(1);  // for a handler that returns
}

void default_fatal_error_handler(const char* format, va_list args) {
  int e = errno_;
  if (utility_name != nullptr) fprintf(stderr_, "%s: ", utility_name);
  const char* text = string_message(format);
  bool with_error = *text == '!';
  if (with_error) ++text;
  vfprintf(stderr_, text, args);
  if (with_error) {
    const char* error_text = strerror(e);
    if (*error_text != '\0')
      fprintf(stderr_, ": %s", error_text);
    else
      fprintf(stderr_, ": errno = %d", e);
  }
  fputc('\n', stderr_);
  errno_ = e;
  exit(1);
}

int print_usage(const char* text) { return fputs(text, stderr_); }

}  // namespace zav
