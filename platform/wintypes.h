// Basic types of the platform's C interface, with fixed widths so that every structure
// the provider shares with the telephony service has the published layout on 64-bit Linux.
// LONG is 32-bit (never `long`), WCHAR is UTF-16 (never `wchar_t`), handles are pointer-sized.
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using INT = int;
using UINT = unsigned int;
using BOOL = std::int32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using CHAR = char;
using UCHAR = unsigned char;
using WCHAR = char16_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using DWORD_PTR = std::uintptr_t;
using ULONG_PTR = std::uintptr_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using INT_PTR = std::intptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using HRESULT = std::int32_t;
using SIZE_T = std::size_t;

using LPVOID = void*;
using LPCVOID = const void*;
using LPBYTE = BYTE*;
using LPWORD = WORD*;
using LPDWORD = DWORD*;
using LPLONG = LONG*;
using LPBOOL = BOOL*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPTSTR = char*;
using LPCTSTR = const char*;
using PVOID = void*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Opaque, pointer-sized handles. Each is a distinct pointer type so that a line handle
// cannot be passed where a call handle is expected.
#define OMBIX_DECLARE_HANDLE(name) \
  struct name##__ {                \
    int unused;                    \
  };                               \
  using name = name##__*
OMBIX_DECLARE_HANDLE(HINSTANCE);
OMBIX_DECLARE_HANDLE(HWND);
OMBIX_DECLARE_HANDLE(HICON);
OMBIX_DECLARE_HANDLE(HKEY);
OMBIX_DECLARE_HANDLE(HDRVLINE);
OMBIX_DECLARE_HANDLE(HDRVCALL);
OMBIX_DECLARE_HANDLE(HDRVPHONE);
OMBIX_DECLARE_HANDLE(HDRVDIALOGINSTANCE);
OMBIX_DECLARE_HANDLE(HTAPILINE);
OMBIX_DECLARE_HANDLE(HTAPICALL);
OMBIX_DECLARE_HANDLE(HTAPIPHONE);
OMBIX_DECLARE_HANDLE(HPROVIDER);
#undef OMBIX_DECLARE_HANDLE
using HANDLE = void*;
using HMODULE = HINSTANCE;
using PHKEY = HKEY*;
using FARPROC = void (*)();

// Application-side handles are 32-bit values.
using HLINE = DWORD;
using HCALL = DWORD;
using HPHONE = DWORD;
using HLINEAPP = DWORD;
using HPHONEAPP = DWORD;
using HTAPIDIALOGINSTANCE = DWORD;
using HTAPIMSPLINE = DWORD;
using DRV_REQUESTID = DWORD;

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
static_assert(sizeof(SYSTEMTIME) == 16);
using LPSYSTEMTIME = SYSTEMTIME*;

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16);

inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_ABANDONED = 0x80;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
inline constexpr int MAX_PATH = 260;

#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xffff))
#define MAKELONG(a, b)                                          \
  (static_cast<LONG>(static_cast<DWORD>(static_cast<WORD>(a)) | \
                     (static_cast<DWORD>(static_cast<WORD>(b)) << 16)))
