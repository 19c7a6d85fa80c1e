// The ANSI and OEM code pages: UTF-8 (65001), or the double-byte page that
// WINAPI_CODEPAGE selects (932, converted through iconv). In both, bytes that do
// not decode become the lone surrogates U+DC80..U+DCFF and come back unchanged.
#include "fs_common.h"

#include <winapi_settings.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iconv.h>

namespace winapi {
namespace {

constexpr UINT utf8 = 65001;
constexpr UINT shift_jis = 932;
constexpr DWORD wc_err_invalid_chars = 0x80;

std::atomic<bool> file_apis_ansi{true};

bool escape_code(char16_t c) { return c >= 0xDC80 && c <= 0xDCFF; }
bool high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool sjis_lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// The length of a well-formed UTF-8 sequence at s, or 0. Encoded surrogates are
// refused so that they cannot be confused with escaped bytes.
size_t utf8_sequence(const unsigned char* s, size_t n, char32_t* out) {
  unsigned char b = s[0];
  if (b < 0x80) {
    *out = b;
    return 1;
  }
  size_t length;
  char32_t value, minimum;
  if ((b & 0xE0) == 0xC0) {
    length = 2, value = b & 0x1F, minimum = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    length = 3, value = b & 0x0F, minimum = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    length = 4, value = b & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (n < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    value = value << 6 | (s[i] & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *out = value;
  return length;
}

void append_utf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::u16string utf8_to_wide(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t n = bytes.size();
  for (size_t i = 0; i < n;) {
    char32_t c;
    size_t length = utf8_sequence(s + i, n - i, &c);
    if (length == 0) {
      out += static_cast<char16_t>(0xDC00 + s[i]);
      ++i;
    } else {
      append_utf16(out, c);
      i += length;
    }
  }
  return out;
}

// Lone surrogates other than escaped bytes have no UTF-8 form: U+FFFD, as Windows
// writes them. *invalid counts them.
std::string wide_to_utf8(std::u16string_view wide, size_t* invalid) {
  // Names are mostly ASCII, which UTF-8 keeps as it is.
  size_t ascii = 0;
  while (ascii < wide.size() && wide[ascii] < 0x80) ++ascii;
  std::string out(ascii, '\0');
  for (size_t i = 0; i < ascii; ++i) out[i] = static_cast<char>(wide[i]);
  if (ascii == wide.size()) return out;
  out.reserve(ascii + (wide.size() - ascii) * 3);
  for (size_t i = ascii; i < wide.size(); ++i) {
    char16_t c = wide[i];
    if (high_surrogate(c) && i + 1 < wide.size() && low_surrogate(wide[i + 1])) {
      append_utf8(out, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (wide[i + 1] - 0xDC00));
      ++i;
    } else if (escape_code(c)) {
      out += static_cast<char>(c - 0xDC00);
    } else if (high_surrogate(c) || low_surrogate(c)) {
      ++*invalid;
      append_utf8(out, 0xFFFD);
    } else {
      append_utf8(out, c);
    }
  }
  return out;
}

// One iconv descriptor per conversion: they carry state and are not shared.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) ::iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // Converts one unit exactly; false when it has no counterpart.
  bool convert(const void* in, size_t in_size, void* out, size_t* out_size) {
    ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* from = const_cast<char*>(static_cast<const char*>(in));
    char* to = static_cast<char*>(out);
    size_t left = *out_size;
    if (::iconv(cd_, &from, &in_size, &to, &left) == static_cast<size_t>(-1) || in_size != 0) return false;
    *out_size -= left;
    return true;
  }

 private:
  iconv_t cd_;
};

std::u16string dbcs_to_wide(std::string_view bytes) {
  Converter converter("UTF-16LE", "CP932");
  std::u16string out;
  auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 0; i < bytes.size();) {
    size_t length = sjis_lead(s[i]) && i + 1 < bytes.size() ? 2 : 1;
    char16_t units[2];
    size_t size = sizeof units;
    if (s[i] < 0x80) {
      out += static_cast<char16_t>(s[i]);
    } else if (converter.ok() && converter.convert(s + i, length, units, &size) && size == 2) {
      out += units[0];
    } else {
      // An undecodable pair: escape its first byte only, the second may start a character.
      out += static_cast<char16_t>(0xDC00 + s[i]);
      length = 1;
    }
    i += length;
  }
  return out;
}

std::string wide_to_dbcs(std::u16string_view wide, char default_char, size_t* defaulted) {
  Converter converter("CP932", "UTF-16LE");
  std::string out;
  for (size_t i = 0; i < wide.size(); ++i) {
    char16_t c = wide[i];
    char bytes[8];
    size_t size = sizeof bytes;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (escape_code(c)) {
      out += static_cast<char>(c - 0xDC00);
    } else if (!high_surrogate(c) && !low_surrogate(c) && converter.ok() &&
               converter.convert(&c, 2, bytes, &size)) {
      out.append(bytes, size);
    } else {
      if (high_surrogate(c) && i + 1 < wide.size() && low_surrogate(wide[i + 1])) ++i;
      out += default_char;
      ++*defaulted;
    }
  }
  return out;
}

// Windows fixes the ANSI code page for the life of a process, and so does the
// layer: the setting is read at the first conversion. 0 until then.
std::atomic<UINT> chosen_page{0};

bool names_active_page(UINT page) { return page == CP_ACP || page == CP_OEMCP || page == CP_THREAD_ACP; }

// CP_ACP, CP_OEMCP and CP_THREAD_ACP are the active page; 0 for a page the layer lacks.
UINT resolve(UINT page) {
  if (names_active_page(page)) return active_code_page();
  if (page == utf8 || page == shift_jis) return page;
  return 0;
}

}  // namespace

UINT active_code_page() {
  UINT page = chosen_page.load(std::memory_order_relaxed);
  if (page == 0) {
    const char* setting = std::getenv("WINAPI_CODEPAGE");
    page = setting && std::strcmp(setting, "932") == 0 ? shift_jis : utf8;
    chosen_page.store(page, std::memory_order_relaxed);
  }
  return page;
}

std::u16string widen(std::string_view bytes) {
  return active_code_page() == shift_jis ? dbcs_to_wide(bytes) : utf8_to_wide(bytes);
}

std::string narrow(std::u16string_view wide) {
  size_t unused = 0;
  return active_code_page() == shift_jis ? wide_to_dbcs(wide, '?', &unused) : wide_to_utf8(wide, &unused);
}

}  // namespace winapi

using namespace winapi;

extern "C" {

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  bool known = names_active_page(CodePage) || CodePage == utf8 || CodePage == shift_jis;
  if (!lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr) || !known) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = cbMultiByte < 0 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  std::string_view bytes(lpMultiByteStr, length);
  // Most names are ASCII, which reads the same in every page the layer has, under
  // the flags they all take: no look at the active page, no decoding, no copy between.
  if ((dwFlags & ~MB_ERR_INVALID_CHARS) == 0) {
    const bool fits = cchWideChar != 0 && length <= static_cast<size_t>(cchWideChar);
    size_t ascii = 0;
    if (fits)
      for (; ascii < length && bytes[ascii] >= 0; ++ascii) lpWideCharStr[ascii] = static_cast<WCHAR>(bytes[ascii]);
    else
      while (ascii < length && bytes[ascii] >= 0) ++ascii;
    if (ascii == length) {
      if (cchWideChar != 0 && !fits) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
      }
      return static_cast<int>(length);
    }
  }
  UINT page = resolve(CodePage);
  // UTF-8 takes no flag but MB_ERR_INVALID_CHARS.
  DWORD allowed = page == utf8 ? MB_ERR_INVALID_CHARS : MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
  if (dwFlags & ~allowed) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  std::u16string wide = page == shift_jis ? dbcs_to_wide(bytes) : utf8_to_wide(bytes);
  if (cchWideChar == 0) return static_cast<int>(wide.size());
  if (wide.size() > static_cast<size_t>(cchWideChar)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpWideCharStr, wide.data(), wide.size() * sizeof(WCHAR));
  return static_cast<int>(wide.size());
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
  UINT page = resolve(CodePage);
  if (!lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 || (cbMultiByte > 0 && !lpMultiByteStr) ||
      page == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (page == utf8) {
    // No default character in UTF-8: Windows refuses both the character and the report.
    if (lpDefaultChar || lpUsedDefaultChar) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if (dwFlags & ~wc_err_invalid_chars) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
  } else if (dwFlags & ~(WC_COMPOSITECHECK | WC_SEPCHARS | WC_DISCARDNS | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS | wc_err_invalid_chars)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t length = cchWideChar < 0 ? std::char_traits<WCHAR>::length(lpWideCharStr) + 1
                                   : static_cast<size_t>(cchWideChar);
  std::u16string_view wide(lpWideCharStr, length);
  size_t invalid = 0;
  std::string bytes = page == shift_jis ? wide_to_dbcs(wide, lpDefaultChar ? *lpDefaultChar : '?', &invalid)
                                        : wide_to_utf8(wide, &invalid);
  if (invalid && (dwFlags & wc_err_invalid_chars)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (lpUsedDefaultChar) *lpUsedDefaultChar = invalid != 0;
  if (cbMultiByte == 0) return static_cast<int>(bytes.size());
  if (bytes.size() > static_cast<size_t>(cbMultiByte)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpMultiByteStr, bytes.data(), bytes.size());
  return static_cast<int>(bytes.size());
}

void WinapiSetCodePage(UINT page) { chosen_page = page == shift_jis || page == utf8 ? page : 0; }

BOOL WINAPI IsDBCSLeadByte(BYTE TestChar) {
  return active_code_page() == shift_jis && sjis_lead(TestChar);
}

BOOL WINAPI AreFileApisANSI(void) { return file_apis_ansi.load(); }
void WINAPI SetFileApisToOEM(void) { file_apis_ansi = false; }
void WINAPI SetFileApisToANSI(void) { file_apis_ansi = true; }

// ANSI and OEM are the same code page on the host, so the conversion is a copy.
BOOL WINAPI CharToOemA(LPCSTR pSrc, LPSTR pDst) {
  if (pSrc == nullptr || pDst == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (pSrc != pDst) std::memmove(pDst, pSrc, std::strlen(pSrc) + 1);
  return TRUE;
}

}  // extern "C"
