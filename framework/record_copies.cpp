#include "framework/record_copies.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "platform/win32.h"

namespace {

// Offsets of the dwXxxSize fields of LINECALLPARAMS; each is followed by its dwXxxOffset.
constexpr size_t kCallParamsVarParts[] = {
    offsetof(LINECALLPARAMS, dwOrigAddressSize),
    offsetof(LINECALLPARAMS, dwDisplayableAddressSize),
    offsetof(LINECALLPARAMS, dwCalledPartySize),
    offsetof(LINECALLPARAMS, dwCommentSize),
    offsetof(LINECALLPARAMS, dwUserUserInfoSize),
    offsetof(LINECALLPARAMS, dwHighLevelCompSize),
    offsetof(LINECALLPARAMS, dwLowLevelCompSize),
    offsetof(LINECALLPARAMS, dwDevSpecificSize),
    offsetof(LINECALLPARAMS, dwTargetAddressSize),
    offsetof(LINECALLPARAMS, dwSendingFlowspecSize),
    offsetof(LINECALLPARAMS, dwReceivingFlowspecSize),
    offsetof(LINECALLPARAMS, dwDeviceClassSize),
    offsetof(LINECALLPARAMS, dwDeviceConfigSize),
    offsetof(LINECALLPARAMS, dwCallDataSize),
    offsetof(LINECALLPARAMS, dwCallingPartyIDSize),
};

DWORD ReadDword(const BYTE* lpBase, size_t nOffset) {
  DWORD dw;
  std::memcpy(&dw, lpBase + nOffset, sizeof(dw));
  return dw;
}

}  // namespace

BOOL IsVarPartInside(DWORD dwTotalSize, DWORD dwSize, DWORD dwOffset) {
  if (dwSize == 0) return TRUE;
  return dwOffset <= dwTotalSize && dwSize <= dwTotalSize - dwOffset ? TRUE : FALSE;
}

LPVOID CopyTapiBuffer(LPCVOID lpSource, DWORD dwSize) {
  if (lpSource == nullptr || dwSize == 0) return nullptr;
  LPVOID lpCopy = AllocBuffer(dwSize);
  if (lpCopy != nullptr) std::memcpy(lpCopy, lpSource, dwSize);
  return lpCopy;
}

LONG CopyCallParams(const LINECALLPARAMS* lpSource, LPLINECALLPARAMS* lppCopy) {
  *lppCopy = nullptr;
  if (lpSource == nullptr) return 0;

  const DWORD dwTotal = lpSource->dwTotalSize;
  const auto* lpBytes = reinterpret_cast<const BYTE*>(lpSource);
  for (size_t nField : kCallParamsVarParts) {
    // Fields past the caller's dwTotalSize are not there to read; the copy has them as 0.
    if (nField + 2 * sizeof(DWORD) > dwTotal) break;
    if (!IsVarPartInside(dwTotal, ReadDword(lpBytes, nField), ReadDword(lpBytes, nField + 4)))
      return LINEERR_INVALCALLPARAMS;
  }

  const DWORD dwCopySize = std::max<DWORD>(dwTotal, sizeof(LINECALLPARAMS));
  auto* lpCopy = static_cast<LPLINECALLPARAMS>(AllocBuffer(dwCopySize));
  if (lpCopy == nullptr) return LINEERR_NOMEM;
  std::memset(lpCopy, 0, dwCopySize);
  std::memcpy(lpCopy, lpSource, std::max<DWORD>(dwTotal, sizeof(DWORD)));
  lpCopy->dwTotalSize = dwCopySize;
  *lppCopy = lpCopy;
  return 0;
}

void FreeEntryCopies(CPtrArray& arrCopies) {
  for (INT_PTR i = 0; i < arrCopies.GetSize(); ++i) FreeBuffer(arrCopies.GetAt(i));
  arrCopies.RemoveAll();
}

LONG ReadCallParamsString(const LINECALLPARAMS* lpParams, DWORD dwSize, DWORD dwOffset,
                          CString& strText) {
  strText.Empty();
  if (lpParams == nullptr || dwSize == 0) return 0;
  if (lpParams->dwTotalSize < sizeof(LINECALLPARAMS) ||
      !IsVarPartInside(lpParams->dwTotalSize, dwSize, dwOffset)) {
    return LINEERR_INVALCALLPARAMS;
  }
  const auto* lpBytes = reinterpret_cast<const BYTE*>(lpParams) + dwOffset;
  std::u16string text;
  for (DWORD i = 0; i + 1 < dwSize; i += 2) {
    char16_t ch;
    std::memcpy(&ch, lpBytes + i, sizeof(ch));
    if (ch == 0) break;
    text.push_back(ch);
  }
  if (text.empty()) return 0;
  const int cch = static_cast<int>(text.size());
  const int cb = WideCharToMultiByte(CP_ACP, 0, text.data(), cch, nullptr, 0, nullptr, nullptr);
  if (cb <= 0) return 0;
  std::string out(static_cast<size_t>(cb), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), cch, out.data(), cb, nullptr, nullptr);
  strText = out.c_str();
  return 0;
}
