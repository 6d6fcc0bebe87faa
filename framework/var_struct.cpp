#include "framework/var_struct.h"

#include <cstdint>
#include <cstring>

#include "framework/alloc_buffer.h"
#include "platform/win32.h"

namespace {

// The common head of every variable-size TAPI structure.
struct VarStructHead {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
};

}  // namespace

BOOL CopyIntoVarStruct(LPVOID lpVarStruct, DWORD& dwOffset, DWORD& dwSize, LPCVOID lpData,
                       DWORD dwLength) {
  if (lpVarStruct == nullptr || lpData == nullptr || dwLength == 0) return FALSE;
  auto* pHead = static_cast<VarStructHead*>(lpVarStruct);
  // 64-bit sums: a structure near 4 GB must not wrap around into "fits".
  const uint64_t nAligned = (static_cast<uint64_t>(pHead->dwUsedSize) + 3) & ~uint64_t{3};
  pHead->dwNeededSize += static_cast<DWORD>(nAligned - pHead->dwUsedSize);
  if (nAligned > pHead->dwTotalSize) return FALSE;
  pHead->dwUsedSize = static_cast<DWORD>(nAligned);
  if (nAligned + dwLength > pHead->dwTotalSize) return FALSE;

  std::memcpy(static_cast<BYTE*>(lpVarStruct) + nAligned, lpData, dwLength);
  if (dwOffset == 0) dwOffset = static_cast<DWORD>(nAligned);
  dwSize += dwLength;
  pHead->dwUsedSize += dwLength;
  return TRUE;
}

BOOL CopyStringIntoVarStruct(LPVOID lpVarStruct, DWORD& dwOffset, DWORD& dwSize, LPCSTR pszText) {
  if (lpVarStruct == nullptr || pszText == nullptr) return FALSE;
  const int cch = MultiByteToWideChar(CP_ACP, 0, pszText, -1, nullptr, 0);
  if (cch < 1) return FALSE;
  const DWORD cbText = static_cast<DWORD>(cch) * sizeof(WCHAR);
  static_cast<VarStructHead*>(lpVarStruct)->dwNeededSize += cbText;

  auto* lpWide = static_cast<LPWSTR>(AllocBuffer(cbText));
  if (lpWide == nullptr) return FALSE;
  BOOL bResult = FALSE;
  if (MultiByteToWideChar(CP_ACP, 0, pszText, -1, lpWide, cch) == cch) {
    bResult = CopyIntoVarStruct(lpVarStruct, dwOffset, dwSize, lpWide, cbText);
  }
  FreeBuffer(lpWide);
  return bResult;
}
