// Unformatted output.
#include <cstring>

#include "stream.h"

namespace zav {

int fputc(int c, Stream* stream) {
  const char byte = static_cast<char>(c);
  return stream->put(&byte, 1) == 0 ? static_cast<unsigned char>(byte) : EOF_;
}

int fputs(const char* text, Stream* stream) { return stream->put(text, std::strlen(text)); }

int puts(const char* text) {
  if (fputs(text, stdout_) != 0) return EOF_;
  return fputc('\n', stdout_) == EOF_ ? EOF_ : 0;
}

}  // namespace zav
