// DEVICECLASSINFO: one device class that a line, phone, address or call answers lineGetID /
// phoneGetID for ("tapi/line", "tapi/providerid", "tapi/phone", ...), with the identifier data
// and an optional handle that is duplicated into the asking process.
//
// Contract:
// - The entry owns a copy of the data (from AllocBuffer) and frees it; it never owns the handle.
// - The copy depends on the format: ASCII keeps the text up to its NUL (never more than the
//   given size) and adds a NUL; UNICODE converts the given bytes from the ANSI code page to
//   UTF-16 (no terminator added); any other format copies the bytes as they are. Size 0 (or no
//   data) gives no block.
// - Holders keep their entries in a CADObArray and change it under their own lock; the
//   CServiceProvider device-class operations work on such arrays.
#pragma once

#include "platform/afx.h"
#include "platform/afx_string.h"
#include "platform/wintypes.h"

class DEVICECLASSINFO : public CObject {
  DECLARE_DYNAMIC(DEVICECLASSINFO)
 public:
  // hHandle INVALID_HANDLE_VALUE: the class has no handle.
  DEVICECLASSINFO(LPCSTR pszName, DWORD dwFormat, LPCVOID lpData, DWORD dwSize, HANDLE hHandle);
  ~DEVICECLASSINFO() override;

  BOOL HasHandle() const;
  // FALSE when there was data to keep and no memory for it.
  BOOL IsComplete() const { return m_bComplete; }

  CString strName;
  DWORD dwStringFormat;
  LPVOID lpvData = nullptr;
  DWORD dwSize = 0;
  HANDLE hHandle;

 private:
  void CopyAscii(LPCVOID lpData, DWORD dwSize);
  void CopyUnicode(LPCVOID lpData, DWORD dwSize);
  void CopyBytes(LPCVOID lpData, DWORD dwSize);

  BOOL m_bComplete = TRUE;
};

class CADObArray;

// Appends the class names as a capability structure lists them: each name followed by a NUL,
// one more NUL at the end, in UTF-16, as one variable part; nothing when there are none. The
// caller holds the lock that guards the array.
void AppendDeviceClassList(LPVOID lpVarStruct, DWORD& dwOffset, DWORD& dwSize,
                           CADObArray& arrClasses);
// The same for names already joined, each followed by '~': every '~' becomes a NUL.
void AppendClassNameList(LPVOID lpVarStruct, DWORD& dwOffset, DWORD& dwSize,
                         const CString& strNames);
