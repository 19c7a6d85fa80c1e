// The names of an open directory, read with getdents64 into a buffer of its own.
#pragma once

#include <cstddef>

namespace winapi {

// Each batch is read on while the buffer has room, so a directory that fits is
// read to its end at once: a read after the caller began to remove the entries
// handed out would wait for the directory's lock behind each removal. The
// descriptor stays the caller's.
class DirectoryReader {
 public:
  explicit DirectoryReader(int fd) : fd_(fd) {}
  DirectoryReader(const DirectoryReader&) = delete;
  DirectoryReader& operator=(const DirectoryReader&) = delete;

  // The next name, "." and ".." included; null at the end with errno 0, or on a
  // failure with errno set, once the names read before it are handed out.
  const char* next();

 private:
  bool refill();

  int fd_;
  std::size_t next_ = 0, end_ = 0;
  bool at_end_ = false;
  int error_ = 0;
  alignas(8) char buffer_[32768];
};

}  // namespace winapi
