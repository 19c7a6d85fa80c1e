// Buffering and text-mode translation of one stream.
#include "stream.h"

#include <windows.h>

#include <cstring>

#include <zav/stdlib.h>
#include <zav/unistd.h>

namespace zav {

void Stream::open_on(int fd, unsigned flags) {
  *this = Stream(fd, flags | is_open);
}

bool Stream::set_up_buffer() {
  if (buffer_ != nullptr) return true;
  buffer_ = static_cast<char*>(zav::malloc(STREAM_BUFFER_SIZE));
  if (buffer_ != nullptr) {
    capacity_ = STREAM_BUFFER_SIZE;
    flags_ |= owns_buffer;
  } else {
    buffer_ = &spare_;
    capacity_ = 1;
    flags_ |= unbuffered;
  }
  if (this == stderr_ || isatty(fd_)) flags_ |= line_buffered;
  if (text_mode_uses_crlf && (flags_ & text) != 0) {
    DWORD mode;
    HANDLE handle = descriptor_handle(fd_);
    if (handle != nullptr && GetConsoleMode(handle, &mode) && (mode & ENABLE_LINE_INPUT) == 0)
      flags_ |= lone_cr_is_lf;
  }
  arm_stream_closing();
  return true;
}

int Stream::flush() {
  if ((flags_ & writing) == 0 || count_ == 0) return 0;
  std::size_t done = 0;
  while (done < count_) {
    const long written = write(fd_, buffer_ + done, count_ - done);
    if (written <= 0) {
      count_ = 0;
      flags_ |= has_error;
      return EOF_;
    }
    done += static_cast<std::size_t>(written);
  }
  count_ = 0;
  return 0;
}

int Stream::append(const char* data, std::size_t n) {
  while (n > 0) {
    if (count_ == capacity_ && flush() != 0) return EOF_;
    const std::size_t run = n < capacity_ - count_ ? n : capacity_ - count_;
    std::memcpy(buffer_ + count_, data, run);
    count_ += run;
    data += run;
    n -= run;
  }
  return 0;
}

int Stream::put(const char* data, std::size_t n) {
  if (!open() || (flags_ & writable) == 0) {
    flags_ |= has_error;
    return EOF_;
  }
  set_up_buffer();
  if ((flags_ & writing) == 0) {
    count_ = position_ = 0;  // unread input is dropped when a stream turns to output
    flags_ |= writing;
  }
  const char* line_end = static_cast<const char*>(std::memchr(data, '\n', n));
  const bool ends_line = line_end != nullptr;
  if (text_mode_uses_crlf && (flags_ & text) != 0) {
    for (; line_end != nullptr; line_end = static_cast<const char*>(std::memchr(data, '\n', n))) {
      const auto before = static_cast<std::size_t>(line_end - data);
      if (append(data, before) != 0 || append("\r\n", 2) != 0) return EOF_;
      data = line_end + 1;
      n -= before + 1;
    }
  }
  if (append(data, n) != 0) return EOF_;
  if ((flags_ & unbuffered) != 0 || (ends_line && (flags_ & line_buffered) != 0)) return flush();
  return 0;
}

void Stream::stop_writing() {
  if ((flags_ & writing) == 0) return;
  flush();
  flags_ &= ~writing;
  count_ = position_ = 0;
}

int Stream::raw_get() {
  if (position_ == count_) {
    if ((flags_ & (at_eof | has_error)) != 0) return EOF_;
    flush_unfinished_lines();
    const long got = read(fd_, buffer_, capacity_);
    if (got <= 0) {
      flags_ |= got == 0 ? at_eof : has_error;
      return EOF_;
    }
    count_ = static_cast<std::size_t>(got);
    position_ = 0;
  }
  return static_cast<unsigned char>(buffer_[position_++]);
}

int Stream::get() {
  if (!open() || (flags_ & readable) == 0) {
    flags_ |= has_error;
    return EOF_;
  }
  set_up_buffer();
  stop_writing();
  const int c = raw_get();
  if (c != '\r' || !text_mode_uses_crlf || (flags_ & text) == 0) return c;
  if ((flags_ & lone_cr_is_lf) != 0) return '\n';
  const int next = raw_get();
  if (next == '\n') return '\n';
  if (next != EOF_) --position_;  // the byte just read is still in the buffer
  return '\r';
}

int Stream::close() {
  if (!open()) return EOF_;
  int result = flush();
  if (zav::close(fd_) != 0) result = EOF_;
  if ((flags_ & owns_buffer) != 0) zav::free(buffer_);
  *this = Stream();
  return result;
}

}  // namespace zav
