// The stream table: three standard streams and 28 more slots, closed at exit.
#include <new>

#include <zav/errno.h>
#include <zav/runtime_lock.h>
#include <zav/stdlib.h>
#include <zav/unistd.h>

#include "stream.h"

namespace zav {

namespace {

constexpr unsigned standard_input = Stream::is_open | Stream::text | Stream::readable;
constexpr unsigned standard_output = Stream::is_open | Stream::text | Stream::writable;

Stream standard_streams[3] = {
    Stream(0, standard_input),
    Stream(1, standard_output),
    Stream(2, standard_output),
};

Stream** stream_table = nullptr;

void close_all_streams() {
  for (int slot = 0; slot < STREAM_TABLE_SIZE; ++slot) {
    if (stream_table[slot]->open()) stream_table[slot]->close();
  }
}

unsigned flags_for_mode(const char* mode) {
  unsigned flags = 0;
  for (; *mode != '\0'; ++mode) {
    switch (*mode) {
      case 'r': flags |= Stream::readable; break;
      case 'w':
      case 'a': flags |= Stream::writable; break;
      case '+': flags |= Stream::readable | Stream::writable; break;
      case 't': flags |= Stream::text; break;
      default: break;
    }
  }
  return flags;
}

}  // namespace

Stream* const stdin_ = &standard_streams[0];
Stream* const stdout_ = &standard_streams[1];
Stream* const stderr_ = &standard_streams[2];

void init_stream_table() {
  if (stream_table != nullptr) return;
  stream_table = static_cast<Stream**>(zav::malloc(STREAM_TABLE_SIZE * sizeof(Stream*)));
  if (stream_table == nullptr) zav::abort();
  for (int slot = 0; slot < 3; ++slot) stream_table[slot] = &standard_streams[slot];
  stdin_->open_on(0, standard_input);
  stdout_->open_on(1, standard_output);
  stderr_->open_on(2, standard_output);
  for (int slot = 3; slot < STREAM_TABLE_SIZE; ++slot) {
    void* block = zav::malloc(sizeof(Stream));
    if (block == nullptr) zav::abort();
    stream_table[slot] = new (block) Stream();
  }
  lock_create(&stdio_lock);
}

void arm_stream_closing() {
  if (stream_table != nullptr) stream_close_hook = close_all_streams;
}

void flush_unfinished_lines() {
  if (stream_table == nullptr) return;
  for (int slot = 0; slot < STREAM_TABLE_SIZE; ++slot) {
    if (stream_table[slot]->holds_unfinished_line()) stream_table[slot]->flush();
  }
}

Stream* fdopen(int fd, const char* mode) {
  if (descriptor_handle(fd) == nullptr) return nullptr;
  const unsigned flags = flags_for_mode(mode);
  if ((flags & (Stream::readable | Stream::writable)) == 0) {
    fail_with(EINVAL_);
    return nullptr;
  }
  for (int slot = 3; stream_table != nullptr && slot < STREAM_TABLE_SIZE; ++slot) {
    if (!stream_table[slot]->open()) {
      stream_table[slot]->open_on(fd, flags);
      return stream_table[slot];
    }
  }
  fail_with(EMFILE_);
  return nullptr;
}

int fflush(Stream* stream) {
  if (stream != nullptr) return stream->flush();
  int result = 0;
  for (int slot = 0; stream_table != nullptr && slot < STREAM_TABLE_SIZE; ++slot) {
    if (stream_table[slot]->open() && stream_table[slot]->flush() != 0) result = EOF_;
  }
  return result;
}

int fclose(Stream* stream) { return stream->close(); }

int fileno(Stream* stream) { return stream->descriptor(); }

int feof(Stream* stream) { return stream->eof() ? 1 : 0; }

int ferror(Stream* stream) { return stream->error() ? 1 : 0; }

}  // namespace zav
