// The stream object behind stdin_, stdout_, stderr_ and the other table slots.
#pragma once

#include <cstddef>

#include <zav/stdio.h>
#include <zav/unistd.h>

namespace zav {

class Stream {
 public:
  enum : unsigned {
    is_open = 1u << 0,
    text = 1u << 1,
    readable = 1u << 2,
    writable = 1u << 3,
    at_eof = 1u << 4,
    has_error = 1u << 5,
    line_buffered = 1u << 6,
    owns_buffer = 1u << 7,
    writing = 1u << 8,
    lone_cr_is_lf = 1u << 9,  // a console without line input ends lines with CR
    unbuffered = 1u << 10,
  };

  constexpr Stream() = default;
  constexpr Stream(int fd, unsigned flags) : fd_(fd), flags_(flags) {}

  void open_on(int fd, unsigned flags);
  bool open() const { return (flags_ & is_open) != 0; }
  int descriptor() const { return fd_; }
  bool eof() const { return (flags_ & at_eof) != 0; }
  bool error() const { return (flags_ & has_error) != 0; }

  // Appends n bytes, translating line ends in text mode: 0, or EOF_ on a write error.
  int put(const char* data, std::size_t n);
  // The next byte, or EOF_ at end of file or on a read error.
  int get();
  int flush();
  int close();
  bool holds_unfinished_line() const {
    return (flags_ & (line_buffered | writing)) == (line_buffered | writing) && count_ > 0;
  }

 private:
  bool set_up_buffer();
  // Copies n bytes into the buffer, writing it out each time it fills.
  int append(const char* data, std::size_t n);
  int raw_get();
  void stop_writing();

  int fd_ = -1;
  unsigned flags_ = 0;
  char* buffer_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t count_ = 0;     // bytes in the buffer: pending output or input read
  std::size_t position_ = 0;  // next input byte
  char spare_ = 0;            // the buffer of last resort when malloc fails
};

// Before a stream reads from its descriptor: shows every prompt still waiting
// in a line-buffered stream.
void flush_unfinished_lines();

// Arms stream_close_hook; called when the first stream gets its buffer.
void arm_stream_closing();

}  // namespace zav
