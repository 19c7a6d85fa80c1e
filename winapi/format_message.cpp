// FormatMessageA over the layer's own message table. The wording is ours.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

struct message {
  DWORD code;
  const char* text;
};

constexpr message messages[] = {
    {ERROR_SUCCESS, "The call succeeded."},
    {ERROR_INVALID_FUNCTION, "This function is not valid here."},
    {ERROR_FILE_NOT_FOUND, "No such file."},
    {ERROR_PATH_NOT_FOUND, "A directory on the path does not exist."},
    {ERROR_TOO_MANY_OPEN_FILES, "The process has too many files open."},
    {ERROR_ACCESS_DENIED, "Permission refused."},
    {ERROR_INVALID_HANDLE, "The handle is not valid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Out of memory."},
    {ERROR_INVALID_DATA, "The data are not valid."},
    {ERROR_OUTOFMEMORY, "Not enough memory left to finish the operation."},
    {ERROR_INVALID_DRIVE, "No such drive."},
    {ERROR_CURRENT_DIRECTORY, "The current directory cannot be removed."},
    {ERROR_NOT_SAME_DEVICE, "The source and the target are on different devices."},
    {ERROR_NO_MORE_FILES, "No more entries."},
    {ERROR_WRITE_PROTECT, "The medium does not allow writing."},
    {ERROR_NOT_READY, "The device is not ready."},
    {ERROR_SEEK, "The position could not be reached on the device."},
    {ERROR_WRITE_FAULT, "Writing to the device failed."},
    {ERROR_READ_FAULT, "Reading from the device failed."},
    {ERROR_GEN_FAILURE, "The device failed."},
    {ERROR_SHARING_VIOLATION, "Another process is using the file."},
    {ERROR_LOCK_VIOLATION, "Part of the file is locked by another process."},
    {ERROR_HANDLE_EOF, "End of file."},
    {ERROR_HANDLE_DISK_FULL, "The disk has no room left."},
    {ERROR_NOT_SUPPORTED, "That operation is not supported."},
    {ERROR_FILE_EXISTS, "A file of that name is already there."},
    {ERROR_CANNOT_MAKE, "The file or directory could not be made."},
    {ERROR_INVALID_PARAMETER, "An argument is not valid."},
    {ERROR_BROKEN_PIPE, "The other end of the pipe is gone."},
    {ERROR_OPEN_FAILED, "The file could not be opened."},
    {ERROR_BUFFER_OVERFLOW, "The name is too long."},
    {ERROR_DISK_FULL, "No space left on the disk."},
    {ERROR_CALL_NOT_IMPLEMENTED, "This system does not provide that function."},
    {ERROR_INSUFFICIENT_BUFFER, "The buffer is too small for the result."},
    {ERROR_INVALID_NAME, "The name is malformed."},
    {ERROR_MOD_NOT_FOUND, "No such module."},
    {ERROR_PROC_NOT_FOUND, "The module has no such entry point."},
    {ERROR_NEGATIVE_SEEK, "Cannot seek before the start of the file."},
    {ERROR_DIR_NOT_EMPTY, "The directory still has entries."},
    {ERROR_BAD_PATHNAME, "The path is malformed."},
    {ERROR_BUSY, "The resource is busy."},
    {ERROR_ALREADY_EXISTS, "That name is already taken."},
    {ERROR_FILENAME_EXCED_RANGE, "The name exceeds the length limit."},
    {ERROR_PIPE_NOT_CONNECTED, "Nothing is connected to the pipe."},
    {ERROR_MORE_DATA, "More data are waiting."},
    {ERROR_DIRECTORY, "That is not a directory."},
    {ERROR_FILE_INVALID, "The entry changed after it was looked at."},
    {ERROR_MR_MID_NOT_FOUND, "There is no text for this message number."},
    {ERROR_INVALID_BLOCK_LENGTH, "The block length is wrong for this device."},
    {ERROR_NO_UNICODE_TRANSLATION, "The name has characters that cannot be converted."},
    {ERROR_TOO_MANY_LINKS, "The file has too many links."},
    {ERROR_PRIVILEGE_NOT_HELD, "The process lacks a privilege this needs."},
    {ERROR_CANT_RESOLVE_FILENAME, "The name could not be resolved."},
    {ERROR_NOT_A_REPARSE_POINT, "The file is not a reparse point."},
};

const char* lookup(DWORD code) {
  for (const auto& m : messages)
    if (m.code == code) return m.text;
  return nullptr;
}

}  // namespace

// Only system texts are held; a module handle never comes from this layer.
extern "C" DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD,
                                       LPSTR lpBuffer, DWORD nSize, va_list*) {
  const char* text = nullptr;
  if ((dwFlags & FORMAT_MESSAGE_FROM_HMODULE) != 0 && lpSource != nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) != 0) text = lookup(dwMessageId);
  if (text == nullptr) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  // As the system's texts do: a line end, or with a width limit a blank in its place.
  const char* end = (dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK) != 0 ? " " : "\r\n";
  std::size_t length = std::strlen(text) + std::strlen(end);
  char* out;
  if ((dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
    out = static_cast<char*>(std::malloc(length + 1));
    if (out == nullptr) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    *reinterpret_cast<char**>(lpBuffer) = out;
  } else {
    if (lpBuffer == nullptr || nSize < length + 1) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    out = lpBuffer;
  }
  std::strcpy(out, text);
  std::strcat(out, end);
  return static_cast<DWORD>(length);
}

extern "C" HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  std::free(hMem);
  return nullptr;
}
