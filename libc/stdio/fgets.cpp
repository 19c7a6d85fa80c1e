// Line input.
#include "stream.h"

namespace zav {

char* fgets(char* buffer, int size, Stream* stream) {
  if (size <= 0) return nullptr;
  int length = 0;
  while (length < size - 1) {
    const int c = stream->get();
    if (c == EOF_) break;
    buffer[length++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  if (length == 0 && size > 1) return nullptr;
  if (stream->error()) return nullptr;
  buffer[length] = '\0';
  return buffer;
}

}  // namespace zav
