// The provider's lineForward entry: TAPI's LINEFORWARDLIST, whose embedded strings are UTF-16,
// becomes the framework's forwarding record.
#include <cstring>
#include <vector>

#include "framework/line_connection.h"
#include "framework/request_records.h"
#include "framework/service_provider.h"
#include "framework/service_provider_entries.h"
#include "framework/tspi_exports.h"

using namespace entries;

namespace {

constexpr DWORD kForwardListHeader = offsetof(LINEFORWARDLIST, ForwardList);

// The UTF-16 string of dwSize bytes at dwOffset of the list, up to its first NUL.
LONG ReadForwardString(const LINEFORWARDLIST* lpList, DWORD dwOffset, DWORD dwSize,
                       CString& strText) {
  if (static_cast<ULONGLONG>(dwOffset) + dwSize > lpList->dwTotalSize) return LINEERR_INVALPARAM;
  // The offset need not be aligned for a UTF-16 unit: the text is copied out first.
  std::vector<WCHAR> text(dwSize / sizeof(WCHAR) + 1, 0);
  std::memcpy(text.data(), reinterpret_cast<const BYTE*>(lpList) + dwOffset,
              (dwSize / sizeof(WCHAR)) * sizeof(WCHAR));
  strText = WideToAnsiString(text.data(), text.size() - 1);
  return 0;
}

// The bytes the entry takes in a LINEFORWARDLIST that the address reports later.
DWORD ReportedSize(const TSPIFORWARDINFO* pInfo) {
  DWORD dwSize = sizeof(LINEFORWARD);
  for (const CADObArray* pList : {&pInfo->arrCallerAddress, &pInfo->arrDestAddress}) {
    for (INT_PTR i = 0; i < pList->GetSize(); ++i) {
      const auto* pEntry = static_cast<const DIALINFO*>(pList->GetAt(i));
      if (pEntry->strNumber.IsEmpty()) continue;
      dwSize += static_cast<DWORD>(pEntry->strNumber.GetLength()) + 1 + (i > 0 ? 1 : 0);
    }
  }
  return (dwSize + 3) & ~3u;
}

LONG FillForwardEntries(CServiceProvider* pSP, CTSPILineConnection* pLine, CTSPIAddressInfo* pAddr,
                        const LINEFORWARDLIST* lpList, TSPILINEFORWARD* pForward) {
  if (lpList == nullptr || lpList->dwNumEntries == 0) return 0;
  if (lpList->dwTotalSize < sizeof(LINEFORWARDLIST) ||
      kForwardListHeader + static_cast<ULONGLONG>(lpList->dwNumEntries) * sizeof(LINEFORWARD) >
          lpList->dwTotalSize) {
    return LINEERR_STRUCTURETOOSMALL;
  }
  for (DWORD i = 0; i < lpList->dwNumEntries; ++i) {
    const LINEFORWARD& entry = lpList->ForwardList[i];
    auto* pInfo = NewRecord<TSPIFORWARDINFO>();
    if (pInfo == nullptr) return LINEERR_NOMEM;
    try {
      pForward->arrForwardInfo.Add(pInfo);
    } catch (const std::bad_alloc&) {
      pInfo->Release();
      return LINEERR_NOMEM;
    }
    pInfo->dwForwardMode = entry.dwForwardMode;
    pInfo->dwDestCountry = entry.dwDestCountryCode;
    const struct {
      DWORD dwSize, dwOffset;
      CADObArray* pTarget;
    } parts[] = {{entry.dwCallerAddressSize, entry.dwCallerAddressOffset, &pInfo->arrCallerAddress},
                 {entry.dwDestAddressSize, entry.dwDestAddressOffset, &pInfo->arrDestAddress}};
    for (const auto& part : parts) {
      if (part.dwSize == 0 || part.dwOffset == 0) continue;
      CString strAddress;
      const LONG lRead = ReadForwardString(lpList, part.dwOffset, part.dwSize, strAddress);
      if (lRead != 0) return lRead;
      const LONG lParse = pSP->ParseDialableAddressList(pLine, pAddr, strAddress, *part.pTarget, 0);
      if (lParse < 0) return lParse;
    }
    pInfo->dwTotalSize = ReportedSize(pInfo);
  }
  return 0;
}

}  // namespace

LONG CServiceProvider::lineForward(CTSPILineConnection* pLine, CTSPIAddressInfo* pAddr,
                                   DRV_REQUESTID dwRequestID, LPLINEFORWARDLIST const lpForwardList,
                                   DWORD dwNumRingsNoAnswer, HTAPICALL htConsultCall,
                                   LPHDRVCALL lphdConsultCall,
                                   LPLINECALLPARAMS const lpCallParams) {
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  LPLINECALLPARAMS lpCopy = nullptr;
  const LONG lCopy = CopyCallParamsWithDefaults(this, pLine, lpCallParams, &lpCopy);
  if (lCopy != 0) return lCopy;
  auto* pForward = NewRecord<TSPILINEFORWARD>();
  if (pForward == nullptr) {
    FreeBuffer(lpCopy);
    return LINEERR_NOMEM;
  }
  pForward->lpCallParams = lpCopy;
  StoreCallHandle(lphdConsultCall, nullptr);
  const LONG lFill = FillForwardEntries(this, pLine, pAddr, lpForwardList, pForward);
  if (lFill != 0) return HandOver(lFill, pForward);
  pForward->dwNumRingsNoAnswer = dwNumRingsNoAnswer;
  CTSPICallAppearance* pConsult = nullptr;
  const LONG lResult = pLine->Forward(dwRequestID, pAddr, pForward, htConsultCall, &pConsult);
  if (lResult >= 0) StoreCallHandle(lphdConsultCall, pConsult);
  return HandOver(lResult, pForward);
}
