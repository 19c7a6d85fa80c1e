#include "directory_reader.h"

#include <cerrno>
#include <dirent.h>
#include <unistd.h>

namespace winapi {
namespace {

// Room for any entry (a name of 255 bytes and the record around it), and
// enough that another read is worth its call.
constexpr std::size_t room_to_read_on = 4096;

}  // namespace

const char* DirectoryReader::next() {
  if (next_ >= end_ && !refill()) return nullptr;
  auto* d = reinterpret_cast<struct dirent64*>(buffer_ + next_);
  next_ += d->d_reclen;
  return d->d_name;
}

bool DirectoryReader::refill() {
  next_ = end_ = 0;
  while (!at_end_ && error_ == 0 && (end_ == 0 || sizeof buffer_ - end_ >= room_to_read_on)) {
    ssize_t read = ::getdents64(fd_, buffer_ + end_, sizeof buffer_ - end_);
    if (read < 0)
      error_ = errno;
    else if (read == 0)
      at_end_ = true;
    else
      end_ += static_cast<std::size_t>(read);
  }
  if (end_ > 0) return true;
  errno = error_;
  return false;
}

}  // namespace winapi
