// Services of the layer's core that other parts of the layer build on.
// file_attributes.cpp needs these two; the core defines them.
#pragma once

#include <windows.h>

#include <cstddef>

namespace winapi_internal {

// The one mapping of a host errno value to a Win32 last-error code.
DWORD win32_error_from_errno(int host_errno);

// Writes the host path of a Win32 path (drive letters, both separators) into
// `out`; false, with the last error set, when the path has no host counterpart.
bool host_path(LPCSTR path, char* out, std::size_t size);

}  // namespace winapi_internal
