// Error texts.
#pragma once

namespace zav {

// The text for an errno_ value: the runtime's own values through the message
// catalog, Win32 codes from the system. Valid until the next call. errno_ is unchanged.
char* strerror(int errnum);

}  // namespace zav
