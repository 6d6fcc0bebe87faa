// Code-page conversion and string comparison. The ANSI code page of this platform is UTF-8, so
// CP_ACP converts exactly like CP_UTF8 and every character of either side can be represented.
#include <cstring>

#include "platform/win32.h"
#include "platform/win32_utf.h"

namespace utf = ombix::utf;

namespace {

bool IsSupportedCodePage(UINT code_page) {
  return code_page == CP_ACP || code_page == CP_UTF8;
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

int FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

// strncmp after folding ASCII letters; NULL sorts first.
int CompareNoCase(LPCSTR a, LPCSTR b, size_t count) {
  if (a == nullptr || b == nullptr) return (a == nullptr ? 0 : 1) - (b == nullptr ? 0 : 1);
  for (size_t i = 0; i < count; ++i) {
    const int ca = FoldAscii(static_cast<unsigned char>(a[i]));
    const int cb = FoldAscii(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
  return 0;
}

}  // namespace

int MultiByteToWideChar(UINT CodePage, DWORD, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
  if (!IsSupportedCodePage(CodePage) || lpMultiByteStr == nullptr || cbMultiByte == 0 ||
      cbMultiByte < -1 || cchWideChar < 0 || (lpWideCharStr == nullptr && cchWideChar != 0)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const size_t length =
      cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  const auto* in = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  size_t count = 0;
  for (size_t i = 0; i < length;) {
    const char32_t cp = utf::DecodeUtf8(in, length, &i);
    WCHAR units[2];
    const size_t n = utf::EncodeUtf16(cp, units);
    if (cchWideChar != 0) {
      if (count + n > static_cast<size_t>(cchWideChar)) return Fail(ERROR_INSUFFICIENT_BUFFER);
      for (size_t k = 0; k < n; ++k) lpWideCharStr[count + k] = units[k];
    }
    count += n;
  }
  return static_cast<int>(count);
}

int WideCharToMultiByte(UINT CodePage, DWORD, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR, LPBOOL lpUsedDefaultChar) {
  if (!IsSupportedCodePage(CodePage) || lpWideCharStr == nullptr || cchWideChar == 0 ||
      cchWideChar < -1 || cbMultiByte < 0 || (lpMultiByteStr == nullptr && cbMultiByte != 0)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  size_t length = static_cast<size_t>(cchWideChar);
  if (cchWideChar == -1) {
    length = 0;
    while (lpWideCharStr[length] != 0) ++length;
    ++length;
  }
  bool replaced = false;
  size_t count = 0;
  for (size_t i = 0; i < length;) {
    const char32_t cp = utf::DecodeUtf16(lpWideCharStr, length, &i, &replaced);
    char bytes[4];
    const size_t n = utf::EncodeUtf8(cp, bytes);
    if (cbMultiByte != 0) {
      if (count + n > static_cast<size_t>(cbMultiByte)) return Fail(ERROR_INSUFFICIENT_BUFFER);
      std::memcpy(lpMultiByteStr + count, bytes, n);
    }
    count += n;
  }
  if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = replaced ? TRUE : FALSE;
  return static_cast<int>(count);
}

int lstrlenA(LPCSTR lpString) {
  return lpString == nullptr ? 0 : static_cast<int>(std::strlen(lpString));
}

int lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
  return CompareNoCase(lpString1, lpString2, static_cast<size_t>(-1));
}

int _stricmp(LPCSTR string1, LPCSTR string2) {
  return CompareNoCase(string1, string2, static_cast<size_t>(-1));
}

int _strnicmp(LPCSTR string1, LPCSTR string2, size_t count) {
  return CompareNoCase(string1, string2, count);
}
