#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "error_mapping.h"
#include "handle_table.h"

using namespace winapi;

extern "C" {

BOOL WINAPI CreatePipe(PHANDLE hReadPipe, PHANDLE hWritePipe, LPSECURITY_ATTRIBUTES lpPipeAttributes,
                       DWORD) {
  const bool inherit = lpPipeAttributes && lpPipeAttributes->bInheritHandle;
  int fds[2];
  if (::pipe2(fds, inherit ? 0 : O_CLOEXEC) != 0) return fail(errno, Call::generic, FALSE);
  HandleObject read_end;
  read_end.fd = fds[0];
  read_end.can_read = true;
  read_end.inherit = inherit;
  HandleObject write_end;
  write_end.fd = fds[1];
  write_end.can_write = true;
  write_end.inherit = inherit;
  *hReadPipe = insert_handle(std::move(read_end));
  *hWritePipe = insert_handle(std::move(write_end));
  return TRUE;
}

}  // extern "C"
