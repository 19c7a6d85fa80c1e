// Which Windows the process runs on. For the runtime's own use.
#pragma once

#include <windows.h>

namespace zav {

// Windows 95/98: GetVersion has its high bit set. Asked afresh on each call, so
// that a test may switch the layer's personality; file status keeps its own
// answer in is_windows_95.
inline bool running_on_windows_95() { return (GetVersion() & 0x80000000u) != 0; }

}  // namespace zav
