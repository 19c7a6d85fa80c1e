#include <cerrno>
#include <unistd.h>

#include "error_mapping.h"
#include "handle_table.h"

using namespace winapi;

extern "C" {

// A descriptor is a console when it is a terminal.
BOOL WINAPI GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
  auto object = descriptor_handle(hConsoleHandle);
  if (!object) return FALSE;
  if (!::isatty(object->fd)) return fail(ENOTTY, Call::generic, FALSE);
  if (!lpMode) return fail(EINVAL, Call::generic, FALSE);
  *lpMode = object->console_input ? ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT
                                  : ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
  return TRUE;
}

}  // extern "C"
