// The Win32 subset the system calls, on C++ and POSIX.
//
// Contract, beyond the usual Win32 meaning of each function:
// - Handles (events, threads, duplicates) are opaque values looked up in a process-wide table;
//   a closed or never-issued handle is refused with ERROR_INVALID_HANDLE, never dereferenced.
//   GetCurrentProcess() is the pseudo handle INVALID_HANDLE_VALUE, as on the original platform.
// - Waiting on a thread handle that reports the thread's end also joins the thread, so no code of
//   the calling module runs on it afterwards.
// - The ANSI code page (CP_ACP) is UTF-8 here; CP_ACP and CP_UTF8 convert alike.
// - Modules are dlopen handles. GetModuleHandleExA with GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS
// finds
//   the shared object that holds an address, which is how a library names itself.
// - Case-insensitive comparisons fold ASCII letters only, whatever the locale.
#pragma once

#include <cstdarg>
#include <mutex>

#include "platform/winerror.h"
#include "platform/wintypes.h"

using LPHANDLE = HANDLE*;
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID lpParameter);

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))

inline constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;
inline constexpr DWORD DUPLICATE_CLOSE_SOURCE = 0x1;
inline constexpr DWORD DUPLICATE_SAME_ACCESS = 0x2;
inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;
inline constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT = 0x2;
inline constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS = 0x4;

// --- Interlocked operations: sequentially consistent, on naturally aligned LONGs. ---
// Each returns the new value (Increment/Decrement) or the value before (Exchange, CompareExchange).
inline LONG InterlockedIncrement(volatile LONG* p) {
  return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedDecrement(volatile LONG* p) {
  return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchange(volatile LONG* p, LONG value) {
  return __atomic_exchange_n(p, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedCompareExchange(volatile LONG* p, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;  // holds the value found, whether or not it was replaced
}

// --- Threads, time and errors. ---
// A number unique to the calling thread for the life of the process; never 0.
DWORD GetCurrentThreadId();
// INFINITE never returns; 0 yields the processor.
void Sleep(DWORD dwMilliseconds);
// Milliseconds since an arbitrary start, wrapping at 2^32 (about 49.7 days).
DWORD GetTickCount();
// Wrap-safe tick arithmetic: time passed from dwStart to dwNow, and whether dwDue has come
// (valid while the two ticks lie less than 2^31 ms apart).
inline DWORD ElapsedTicks(DWORD dwStart, DWORD dwNow) {
  return dwNow - dwStart;
}
inline bool IsTickDue(DWORD dwDue, DWORD dwNow) {
  return static_cast<LONG>(dwNow - dwDue) >= 0;
}
// Coordinated universal time.
void GetSystemTime(LPSYSTEMTIME lpSystemTime);
DWORD GetLastError();  // per thread
void SetLastError(DWORD dwErrCode);

// Starts a thread at once (dwCreationFlags must be 0; the stack size is the system default).
// The handle is signalled when the routine has returned.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId);

// --- Handles and waiting (event and thread handles). ---
// Returns WAIT_OBJECT_0 + index, WAIT_TIMEOUT or WAIT_FAILED (GetLastError says why). An
// auto-reset event is cleared by the wait that it satisfies. With bWaitAll, all objects are taken
// together or none.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds);
BOOL CloseHandle(HANDLE hObject);
HANDLE GetCurrentProcess();
// Within this process only: both process handles must be GetCurrentProcess().
BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                     LPHANDLE lpTargetHandle, DWORD dwDesiredAccess, BOOL bInheritHandle,
                     DWORD dwOptions);

// --- Critical sections: recursive, owned by one thread at a time. ---
struct CRITICAL_SECTION {
  std::recursive_mutex mutex;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;
void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// --- Text. ---
// cbMultiByte / cchWideChar -1: the input is NUL-terminated and the count includes the NUL.
// An output size of 0 asks for the needed size; too small a buffer fails with
// ERROR_INSUFFICIENT_BUFFER. Malformed input becomes U+FFFD; surrogate pairs are kept.
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar);
int lstrlenA(LPCSTR lpString);  // NULL -> 0
// <0, 0, >0 like strcmp after folding ASCII letters; NULL sorts before every string.
int lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);
int _stricmp(LPCSTR string1, LPCSTR string2);
int _strnicmp(LPCSTR string1, LPCSTR string2, size_t count);
// The original platform's formatter: at most 1024 bytes with the NUL; the size prefix l is 32-bit
// (so "%ld" takes a DWORD or LONG), h is 16-bit, I64 is 64-bit; %s/%hs narrow text, %S/%ls UTF-16
// text (NULL prints "(null)"); types c C d i u x X s S p and %%; flags - 0 # and a width and
// precision. Returns the length written without the NUL.
int wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...);
int wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist);

// --- Memory. ---
// Nonzero when any of the ucb bytes at lp may not be written by this process (not mapped,
// read-only or inaccessible), judged from the kernel's map of the process without touching the
// memory, so it never faults; 0 when ucb is 0. The answer holds for the moment of the call.
// Without /proc nothing can be checked and every range answers nonzero. Thread-safe.
BOOL IsBadWritePtr(LPVOID lp, UINT_PTR ucb);

// --- Modules. ---
// A bare file name (no "/") is looked for first in the directory that GetSystemDirectoryA
// names, then by the dynamic loader's own search.
HMODULE LoadLibraryA(LPCSTR lpLibFileName);
BOOL FreeLibrary(HMODULE hLibModule);
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
// lpModuleName is a file name, NULL for the main program, or with FLAG_FROM_ADDRESS an address
// inside the wanted module. Without FLAG_UNCHANGED_REFCOUNT the caller must FreeLibrary it.
BOOL GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule);
// The directory that holds the shared object containing this code (for the provider: the
// directory it was installed in, where its companion files live). No trailing separator.
// Returns the length copied, or the size needed with the NUL when uSize is too small.
UINT GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);
// Writes the text to standard error when the environment variable OMBIX_DEBUG is set and not
// empty; otherwise does nothing.
void OutputDebugStringA(LPCSTR lpOutputString);
