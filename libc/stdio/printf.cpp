// Formatted output: vsnprintf into a local buffer, or a heap one for long texts.
#include <cstdio>

#include <zav/stdlib.h>

#include "stream.h"

namespace zav {

int vfprintf(Stream* stream, const char* format, va_list args) {
  char local[1024];
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(local, sizeof local, format, args);
  int result = length;
  if (length < 0) {
    result = EOF_;
  } else if (static_cast<std::size_t>(length) < sizeof local) {
    if (stream->put(local, static_cast<std::size_t>(length)) != 0) result = EOF_;
  } else {
    char* text = static_cast<char*>(zav::malloc(static_cast<std::size_t>(length) + 1));
    if (text == nullptr) {
      result = EOF_;
    } else {
      std::vsnprintf(text, static_cast<std::size_t>(length) + 1, format, again);
      if (stream->put(text, static_cast<std::size_t>(length)) != 0) result = EOF_;
      zav::free(text);
    }
  }
  va_end(again);
  return result;
}

int fprintf(Stream* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = vfprintf(stream, format, args);
  va_end(args);
  return result;
}

int printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = vfprintf(stdout_, format, args);
  va_end(args);
  return result;
}

}  // namespace zav
