#include <zav/errno.h>
#include <zav/string.h>
#include <zav/text_message.h>

#include <windows.h>

#include <cstdio>

namespace zav {

namespace {

char unknown_text[] = "Unknown error";
char block_size_text[] = "Unsupported block size on write, or incorrect block size on read";
char* system_text = nullptr;  // from FormatMessageA, released at the next call
char formatted[28];

const char* message_module(int errnum) {
  if (errnum >= 2100 && errnum <= 2999) return "netmsg.dll";
  if (errnum >= 10000 && errnum <= 11999) return "winsock.dll";
  if (errnum >= 12000) return "wininet.dll";
  return nullptr;
}

}  // namespace

char* strerror(int errnum) {
  int saved = errno_;
  if (errnum < 0) {
    char* text;
    if (errnum >= -1 - own_error_bound) {
      text = const_cast<char*>(string_message(own_error_values[-1 - errnum].stored_text));
    } else {
      const char* format = text_message(5785, "Unknown error #%x", "E");
      std::snprintf(formatted, sizeof formatted, format, static_cast<unsigned>(errnum));
      text = formatted;
    }
    errno_ = saved;
    return text;
  }
  if (system_text != nullptr) {
    LocalFree(system_text);
    system_text = nullptr;
  }
  if (errnum == ERROR_INVALID_BLOCK_LENGTH) return block_size_text;

  const char* module_name = message_module(errnum);
  HMODULE module = module_name != nullptr ? LoadLibraryExA(module_name, nullptr, LOAD_LIBRARY_AS_DATAFILE) : nullptr;
  const char* inserts[] = {"%1", "%2", "%3"};
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_MAX_WIDTH_MASK;
  if (module != nullptr) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  char* text = nullptr;
  DWORD length = FormatMessageA(flags, module, static_cast<DWORD>(errnum), 0, reinterpret_cast<LPSTR>(&text), 0,
                                reinterpret_cast<va_list*>(const_cast<char**>(inserts)));
  if (module != nullptr) FreeLibrary(module);
  if (length == 0 || text == nullptr) {
    text = unknown_text;
  } else {
    system_text = text;
  }
  CharToOemA(text, text);
  errno_ = saved;
  return text;
}

}  // namespace zav
