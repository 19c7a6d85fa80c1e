// The steps of the removal primitives that stand apart from the system calls they
// feed. For the runtime's own use and its tests.
#pragma once

#include <cstddef>

#include <windows.h>

namespace zav {

// The absolute form of `path` with backslashes, in wide characters converted from
// the file code page, followed by a second NUL: the one-name list the shell's
// wide file operations take. `count` is in characters. 0, or -1 with errno_ set.
int recycle_bin_name_list(const char* path, WCHAR* list, std::size_t count);

// Writes NUL=short_name into the [Rename] section of `list_file` and reads the
// section back: 0 when it holds that line (case aside), -1 with errno_ from the
// last error when it does not or is larger than the runtime reads (2048 bytes).
int request_deletion_in_wininit(const char* short_name, const char* list_file);

}  // namespace zav
