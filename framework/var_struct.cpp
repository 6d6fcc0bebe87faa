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

// 64-bit: a structure near 4 GB must not wrap around into "fits".
uint64_t Aligned(DWORD dwSize) {
  return (static_cast<uint64_t>(dwSize) + 3) & ~uint64_t{3};
}

// The needed size follows the layout with every part in, whatever fitted.
void CountPart(VarStructHead* pHead, DWORD dwLength) {
  const uint64_t nNeeded = Aligned(pHead->dwNeededSize) + dwLength;
  pHead->dwNeededSize = static_cast<DWORD>(nNeeded > 0xFFFFFFFF ? 0xFFFFFFFF : nNeeded);
}

}  // namespace

BOOL CopyIntoVarStruct(LPVOID lpVarStruct, DWORD& dwOffset, DWORD& dwSize, LPCVOID lpData,
                       DWORD dwLength) {
  if (lpVarStruct == nullptr || lpData == nullptr || dwLength == 0) return FALSE;
  auto* pHead = static_cast<VarStructHead*>(lpVarStruct);
  CountPart(pHead, dwLength);
  const uint64_t nAt = Aligned(pHead->dwUsedSize);
  if (nAt + dwLength > pHead->dwTotalSize) return FALSE;

  std::memcpy(static_cast<BYTE*>(lpVarStruct) + nAt, lpData, dwLength);
  dwOffset = static_cast<DWORD>(nAt);
  dwSize = dwLength;
  pHead->dwUsedSize = static_cast<DWORD>(nAt + dwLength);
  return TRUE;
}

BOOL CopyStringIntoVarStruct(LPVOID lpVarStruct, DWORD& dwOffset, DWORD& dwSize, LPCSTR pszText) {
  if (lpVarStruct == nullptr || pszText == nullptr) return FALSE;
  const int cch = MultiByteToWideChar(CP_ACP, 0, pszText, -1, nullptr, 0);
  if (cch < 1) return FALSE;
  const DWORD cbText = static_cast<DWORD>(cch) * sizeof(WCHAR);

  auto* lpWide = static_cast<LPWSTR>(AllocBuffer(cbText));
  if (lpWide == nullptr || MultiByteToWideChar(CP_ACP, 0, pszText, -1, lpWide, cch) != cch) {
    // Left out, but TAPI must still learn how large a structure would take it.
    CountPart(static_cast<VarStructHead*>(lpVarStruct), cbText);
    FreeBuffer(lpWide);
    return FALSE;
  }
  const BOOL bResult = CopyIntoVarStruct(lpVarStruct, dwOffset, dwSize, lpWide, cbText);
  FreeBuffer(lpWide);
  return bResult;
}

std::vector<WCHAR> VarStructText(LPCSTR pszText) {
  if (pszText == nullptr) return {};
  const int cch = MultiByteToWideChar(CP_ACP, 0, pszText, -1, nullptr, 0);
  if (cch < 1) return {};
  std::vector<WCHAR> wide(static_cast<size_t>(cch));
  if (MultiByteToWideChar(CP_ACP, 0, pszText, -1, wide.data(), cch) != cch) return {};
  return wide;
}
