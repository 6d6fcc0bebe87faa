// The platform's registry functions, on a text file shared by every process of the system
// (the provider and its configuration dialogs run in different processes).
//
// Contract:
// - Only HKEY_LOCAL_MACHINE is a root; any other handle that is not open answers
//   ERROR_INVALID_HANDLE. Results are the platform's error codes (platform/winerror.h).
// - The file is $OMBIX_REGISTRY, else ${XDG_CONFIG_HOME:-$HOME/.config}/ombix/registry.reg,
//   looked up on each call made on HKEY_LOCAL_MACHINE, a relative path from the current folder
//   of that moment; a handle keeps the file it was opened in, and a batch the file it began on,
//   whatever folder the process changes to later. The file is in the registry's export format
//   (REGEDIT4) and may be edited by hand.
// - Every change is in the file when the call returns (inside a batch: when the batch ends, see
//   OmbixRegBeginBatch); every call sees what other processes wrote before it. The file is read
//   again only when it changed since this process last read or wrote it. Reads never wait for
//   another process (the file is only ever replaced whole); writes wait for each other. An
//   open handle names a key, not a copy of it: once that key is deleted, calls on the handle
//   answer ERROR_KEY_DELETED. A file that cannot be written answers ERROR_CANTWRITE and changes
//   nothing; so does a file whose owner may not write it, whatever this process's rights, and
//   one whose owner this process's write would lock out (the new file is then the writer's:
//   it keeps the old group, and the owner must be a member with group read and write rights).
//   A symbolic link is followed: the target is written, the link stays. One file may be named
//   many ways (DIR/f, DIR/./f, a linked folder): the same folder and last name is the same file.
//   Only a regular file of at most 64 MiB is read or replaced: anything else (a FIFO, a device,
//   a folder, a larger file) answers ERROR_CANTREAD, without waiting and without being read or
//   replaced (a write that finds it in the file's place at its end: ERROR_CANTWRITE). A change
//   that would make the file larger answers ERROR_CANTWRITE and is not made.
// - No exception leaves these functions: out of memory answers ERROR_NOT_ENOUGH_MEMORY, another
//   failure ERROR_CANTREAD (ERROR_CANTWRITE for changes and batches); the change is not made.
//   Once the file is replaced the change is answered as made: nothing after that can fail it.
// - Key name components are at most 255 characters, value names 16,383, and keys at most 512
//   levels below the root; longer or deeper names answer ERROR_INVALID_PARAMETER.
// - Key and value names compare without regard to ASCII case and keep their first spelling.
//   Access masks are accepted and not enforced. Thread-safe.
#pragma once

#include <string>

#include "platform/winerror.h"
#include "platform/wintypes.h"

using REGSAM = DWORD;
struct SECURITY_ATTRIBUTES;  // not used here; declared as platform/win32.h declares it
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
using PFILETIME = FILETIME*;

// The predefined root handle, as the platform numbers it (sign-extended to pointer size).
#define HKEY_LOCAL_MACHINE \
  (reinterpret_cast<HKEY>( \
      static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000002)))))

// Value types.
inline constexpr DWORD REG_SZ = 1;  // text with its terminating NUL, counted in its size
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;  // 4 bytes, little-endian

// Access rights.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_READ = 0x00020019;
inline constexpr REGSAM KEY_WRITE = 0x00020006;
inline constexpr REGSAM KEY_EXECUTE = 0x00020019;
inline constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

// RegCreateKeyExA options (only non-volatile keys are kept) and dispositions.
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// lpSubKey NULL or "" opens hKey's own key again. A missing key: ERROR_FILE_NOT_FOUND.
LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
// Creates the key and any missing keys above it. lpSecurityAttributes is not used.
LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition);
// lpValueName NULL or "" is the default value. *lpcbData is the buffer size in, the value's
// size out; a buffer too small answers ERROR_MORE_DATA with the size needed; lpData NULL asks
// for the size only.
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData);
// Stores the cbData bytes as given (a REG_SZ should count its NUL).
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);
LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
// A key that has subkeys is not deleted: ERROR_ACCESS_DENIED.
LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
// Subkeys in order of their names without regard to case. *lpcchName is the buffer size in
// characters (with the NUL) in, the name's length out; too small: ERROR_MORE_DATA. Past the
// last subkey: ERROR_NO_MORE_ITEMS. Keys have no class (written as "") and no recorded write
// time (written as 0).
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
LONG RegCloseKey(HKEY hKey);

// Not a platform function: the key (with its subkeys when bRecursive) as the text of a
// registry file, "REGEDIT4" first, read in one piece. For tools.
LONG OmbixRegExportKey(HKEY hKey, LPCSTR lpSubKey, BOOL bRecursive, std::string* text);
// Not a platform function: "<file>: <cause>" for this thread's last call that answered
// ERROR_CANTREAD or ERROR_CANTWRITE (empty before the first). For tools.
std::string OmbixRegLastFileError();
// Not a platform function: the registry file HKEY_LOCAL_MACHINE is read from now ($OMBIX_REGISTRY,
// else ${XDG_CONFIG_HOME:-$HOME/.config}/ombix/registry.reg, from the current folder when
// relative; empty without a home). For tools.
std::string OmbixRegFilePath();
// Not a platform function: begins a batch on the calling thread. The changes this thread makes
// to HKEY_LOCAL_MACHINE's file (the one OmbixRegFilePath names now; handles opened in it
// included) are grouped until OmbixRegEndBatch. The batch takes the file's exclusive lock for
// its whole length and first reads the file again if another process changed it. Until it ends,
// this thread's calls on that file (under any of its names) apply to the registry held in memory
// (they see the batch's changes) and the file stays as it was; other threads of the process wait
// in their registry calls until the batch ends, and other processes in their writes (to any
// registry file in its folder); other processes' reads do not wait, and see the file as it was.
// The first change of a batch to a file that may not be written answers ERROR_CANTWRITE and is
// not made. Calls on other files go to their files as ever, but a change there waits for that
// file's other writers at most 5 seconds, then answers ERROR_CANTWRITE ("<lock>: busy: ...") and
// is not made: two batches writing into each other's folders would wait for each other for ever.
// Begin/End pairs nest: an inner begin only counts, and only the outermost end writes. The thread
// must take no other lock while its batch is open.
// Returns ERROR_SUCCESS, or ERROR_CANTWRITE / ERROR_CANTREAD (OmbixRegLastFileError says why)
// when the file cannot be locked or read; no batch is then open.
LONG OmbixRegBeginBatch();
// Not a platform function: ends the calling thread's batch. The outermost end writes the file
// once when anything changed (a temporary file, synced and renamed over it) and releases the
// lock. Returns ERROR_SUCCESS, or the error a single write reports (ERROR_CANTWRITE, with
// OmbixRegLastFileError set): the file is then left byte for byte as it was and the batch's
// changes are dropped (the next call reads the file again). ERROR_CANCELLED when an inner
// OmbixRegCancelBatch dropped the batch: nothing is written, changes made after that cancel
// included, and so it answers even when nothing changed. ERROR_INVALID_FUNCTION when the
// calling thread has no batch open.
LONG OmbixRegEndBatch();
// Not a platform function: ends the calling thread's batch like OmbixRegEndBatch but writes
// nothing: the batch's changes are dropped and the file stays as it was. Cancelling a nested
// batch drops the whole batch when its outermost end comes. For a batch that cannot finish what
// it began (an exception): half its changes must not reach the file.
LONG OmbixRegCancelBatch();

// Not a platform function: a batch (OmbixRegBeginBatch) for a scope. One that is neither committed
// nor able to begin writes nothing: leaving the scope, by an exception too, cancels it, so half a
// change never reaches the file. Without a batch (the file cannot be locked) the calls in the
// scope go to the file one by one, and fail there as they would.
class COmbixRegBatch {
 public:
  COmbixRegBatch() : m_bOpen(OmbixRegBeginBatch() == ERROR_SUCCESS) {}
  ~COmbixRegBatch() {
    if (m_bOpen) OmbixRegCancelBatch();
  }
  COmbixRegBatch(const COmbixRegBatch&) = delete;
  COmbixRegBatch& operator=(const COmbixRegBatch&) = delete;
  bool IsOpen() const { return m_bOpen; }
  // Ends the batch, writing its changes: OmbixRegEndBatch's result (ERROR_CANCELLED when an
  // inner batch was cancelled; ERROR_SUCCESS when none was open).
  LONG Commit() {
    if (!m_bOpen) return ERROR_SUCCESS;
    m_bOpen = false;
    return OmbixRegEndBatch();
  }

 private:
  bool m_bOpen;
};
