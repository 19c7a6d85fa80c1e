// Conversions between narrow names in the file code page and wide names.
#include <zav/diagnostics.h>
#include <zav/errno.h>
#include <zav/stdlib.h>
#include <zav/text_message.h>
#include <zav/wide.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace zav {

namespace {

// Asked at every conversion: SetFileApisToOEM/ANSI may switch it at any time.
UINT file_code_page() { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

}  // namespace

int wide_from_narrow(WCHAR* wide, const char* narrow, int count) {
  UINT page = file_code_page();
  int n = MultiByteToWideChar(page, MB_PRECOMPOSED | MB_ERR_INVALID_CHARS, narrow, -1, wide, count);
  // UTF-8 as the file code page refuses every flag but MB_ERR_INVALID_CHARS.
  if (n == 0 && GetLastError() == ERROR_INVALID_FLAGS)
    n = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, narrow, -1, wide, count);
  if (n != 0) return n;
  if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) return count;
  return fail_with(EILSEQ_);
}

int narrow_from_wide(char* narrow, const WCHAR* wide, int size) {
  if (size == 0) return 0;
  int length = static_cast<int>(std::char_traits<WCHAR>::length(wide));
  UINT page = file_code_page();
  BOOL used_default = FALSE;
  int n = WideCharToMultiByte(page, WC_COMPOSITECHECK | WC_SEPCHARS, wide, length + 1, narrow, size,
                              nullptr, &used_default);
  // UTF-8 takes neither flags nor the default-character report, and has no default character.
  if (n == 0 && (GetLastError() == ERROR_INVALID_FLAGS || GetLastError() == ERROR_INVALID_PARAMETER))
    n = WideCharToMultiByte(page, 0, wide, length + 1, narrow, size, nullptr, nullptr);
  if (n != 0 && !used_default) return n - 1;
  if (n == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) return size;
  return fail_with(EILSEQ_);
}

WCHAR* widen_path(const char* path) {
  std::size_t length = std::strlen(path);
  auto wide = static_cast<WCHAR*>(malloc(sizeof(WCHAR) * (length + 1)));
  if (wide == nullptr) {
    fatal_error(text_message(3581, "!memory allocation failure", "E"));
    return nullptr;
  }
  // Each narrow byte gives at most one wide character, so length + 1 always fits.
  if (wide_from_narrow(wide, path, static_cast<int>(length + 1)) < 0) {
    int e = errno_;
    free(wide);
    errno_ = e;
    fatal_error(text_message(3642, "!multibyte string", "E"));
    return nullptr;
  }
  return wide;
}

}  // namespace zav
