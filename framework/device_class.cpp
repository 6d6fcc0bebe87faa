// DEVICECLASSINFO and the CServiceProvider operations on device-class arrays.
#include "framework/device_class.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "framework/ado_array.h"
#include "framework/alloc_buffer.h"
#include "framework/service_provider.h"
#include "framework/var_struct.h"
#include "platform/win32.h"

IMPLEMENT_DYNAMIC(DEVICECLASSINFO, CObject)

DEVICECLASSINFO::DEVICECLASSINFO(LPCSTR pszName, DWORD dwFormat, LPCVOID lpData, DWORD dwDataSize,
                                 HANDLE hDevHandle)
    : strName(pszName != nullptr ? pszName : ""), dwStringFormat(dwFormat), hHandle(hDevHandle) {
  if (lpData == nullptr || dwDataSize == 0) return;
  switch (dwFormat) {
    case STRINGFORMAT_ASCII:
      CopyAscii(lpData, dwDataSize);
      break;
    case STRINGFORMAT_UNICODE:
      CopyUnicode(lpData, dwDataSize);
      break;
    default:
      CopyBytes(lpData, dwDataSize);
      break;
  }
}

DEVICECLASSINFO::~DEVICECLASSINFO() {
  FreeBuffer(lpvData);
}

BOOL DEVICECLASSINFO::HasHandle() const {
  return hHandle != INVALID_HANDLE_VALUE ? TRUE : FALSE;
}

void DEVICECLASSINFO::CopyAscii(LPCVOID lpData, DWORD dwDataSize) {
  // The text ends at its NUL, or at the given size when the caller's block has none.
  const void* pNul = std::memchr(lpData, 0, dwDataSize);
  const size_t cch =
      pNul != nullptr
          ? static_cast<size_t>(static_cast<const char*>(pNul) - static_cast<const char*>(lpData))
          : dwDataSize;
  auto* pszCopy = static_cast<char*>(AllocBuffer(cch + 1));
  if (pszCopy == nullptr) {
    m_bComplete = FALSE;
    return;
  }
  std::memcpy(pszCopy, lpData, cch);
  pszCopy[cch] = 0;
  lpvData = pszCopy;
  dwSize = static_cast<DWORD>(cch + 1);
}

void DEVICECLASSINFO::CopyUnicode(LPCVOID lpData, DWORD dwDataSize) {
  if (dwDataSize > static_cast<DWORD>(INT32_MAX)) {
    m_bComplete = FALSE;
    return;
  }
  const auto* pszText = static_cast<LPCSTR>(lpData);
  const int cbText = static_cast<int>(dwDataSize);
  const int cch = MultiByteToWideChar(CP_ACP, 0, pszText, cbText, nullptr, 0);
  if (cch < 1) return;  // nothing to keep
  const DWORD cbWide = static_cast<DWORD>(cch) * sizeof(WCHAR);
  auto* lpWide = static_cast<LPWSTR>(AllocBuffer(cbWide));
  if (lpWide == nullptr || MultiByteToWideChar(CP_ACP, 0, pszText, cbText, lpWide, cch) != cch) {
    FreeBuffer(lpWide);
    m_bComplete = FALSE;
    return;
  }
  lpvData = lpWide;
  dwSize = cbWide;
}

void DEVICECLASSINFO::CopyBytes(LPCVOID lpData, DWORD dwDataSize) {
  lpvData = AllocBuffer(dwDataSize);
  if (lpvData == nullptr) {
    m_bComplete = FALSE;
    return;
  }
  std::memcpy(lpvData, lpData, dwDataSize);
  dwSize = dwDataSize;
}

int CServiceProvider::AddDeviceClass(CADObArray& arrClasses, LPCSTR pszName, DWORD dwFormat,
                                     LPCVOID lpData, DWORD dwSize, HANDLE hHandle) {
  if (pszName == nullptr) return -1;
  auto* pEntry = new (std::nothrow) DEVICECLASSINFO(pszName, dwFormat, lpData, dwSize, hHandle);
  if (pEntry == nullptr) return -1;
  if (!pEntry->IsComplete()) {
    // An entry without its data would answer lineGetID wrongly; keep the old one instead.
    delete pEntry;
    return -1;
  }
  RemoveDeviceClass(arrClasses, pszName);
  return static_cast<int>(arrClasses.Add(pEntry));
}

BOOL CServiceProvider::RemoveDeviceClass(CADObArray& arrClasses, LPCSTR pszName) {
  if (pszName == nullptr) return FALSE;
  for (INT_PTR i = 0; i < arrClasses.GetSize(); ++i) {
    auto* pEntry = static_cast<DEVICECLASSINFO*>(arrClasses[i]);
    if (pEntry != nullptr && lstrcmpiA(pEntry->strName, pszName) == 0) {
      arrClasses.RemoveAt(i);
      delete pEntry;
      return TRUE;
    }
  }
  return FALSE;
}

DEVICECLASSINFO* CServiceProvider::FindDeviceClass(CADObArray& arrClasses, LPCSTR pszName) {
  if (pszName == nullptr) return nullptr;
  for (INT_PTR i = 0; i < arrClasses.GetSize(); ++i) {
    auto* pEntry = static_cast<DEVICECLASSINFO*>(arrClasses[i]);
    if (pEntry != nullptr && lstrcmpiA(pEntry->strName, pszName) == 0) return pEntry;
  }
  return nullptr;
}

LONG CServiceProvider::FillVarStringFromDeviceClass(DEVICECLASSINFO* pDevClass,
                                                    LPVARSTRING lpVarString,
                                                    HANDLE hTargetProcess) {
  if (pDevClass == nullptr || lpVarString == nullptr) return LINEERR_INVALPOINTER;
  if (lpVarString->dwTotalSize < sizeof(VARSTRING)) return LINEERR_STRUCTURETOOSMALL;

  const BOOL bHandle = pDevClass->HasHandle();
  lpVarString->dwUsedSize = sizeof(VARSTRING);
  lpVarString->dwStringSize = 0;
  lpVarString->dwStringOffset = 0;
  lpVarString->dwStringFormat = pDevClass->dwStringFormat;
  const uint64_t nNeeded =
      sizeof(VARSTRING) + static_cast<uint64_t>(pDevClass->dwSize) + (bHandle ? sizeof(HANDLE) : 0);
  if (lpVarString->dwTotalSize < nNeeded) {
    // Too small: TAPI reads dwNeededSize and asks again with a larger structure.
    lpVarString->dwNeededSize = static_cast<DWORD>(nNeeded);
    return 0;
  }
  lpVarString->dwNeededSize = sizeof(VARSTRING);

  // The string is the duplicated handle, when there is one, followed by the data.
  std::vector<BYTE> block;
  if (bHandle) {
    HANDLE hDuplicate = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), pDevClass->hHandle, hTargetProcess, &hDuplicate, 0,
                         FALSE, DUPLICATE_SAME_ACCESS)) {
      return LINEERR_OPERATIONFAILED;
    }
    const auto* pBytes = reinterpret_cast<const BYTE*>(&hDuplicate);
    block.insert(block.end(), pBytes, pBytes + sizeof(hDuplicate));
  }
  if (pDevClass->lpvData != nullptr) {
    const auto* pBytes = static_cast<const BYTE*>(pDevClass->lpvData);
    block.insert(block.end(), pBytes, pBytes + pDevClass->dwSize);
  }
  if (!block.empty()) {
    CopyIntoVarStruct(lpVarString, lpVarString->dwStringOffset, lpVarString->dwStringSize,
                      block.data(), static_cast<DWORD>(block.size()));
  }
  return 0;
}

void AppendDeviceClassList(LPVOID lpVarStruct, DWORD& dwOffset, DWORD& dwSize,
                           CADObArray& arrClasses) {
  // Each name ends with '~' and the text's own NUL closes the list.
  CString strClasses;
  for (INT_PTR i = 0; i < arrClasses.GetSize(); ++i) {
    strClasses += static_cast<DEVICECLASSINFO*>(arrClasses[i])->strName;
    strClasses += '~';
  }
  AppendClassNameList(lpVarStruct, dwOffset, dwSize, strClasses);
}

void AppendClassNameList(LPVOID lpVarStruct, DWORD& dwOffset, DWORD& dwSize,
                         const CString& strNames) {
  if (strNames.IsEmpty()) return;
  std::vector<WCHAR> wide = VarStructText(strNames);
  if (wide.empty()) return;
  for (WCHAR& ch : wide) {
    if (ch == static_cast<WCHAR>('~')) ch = 0;
  }
  CopyIntoVarStruct(lpVarStruct, dwOffset, dwSize, wide.data(),
                    static_cast<DWORD>(wide.size() * sizeof(WCHAR)));
}
