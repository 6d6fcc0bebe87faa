// The provider's media request entries: digits, tones, media monitoring and detection, and media
// control.
#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/line_connection.h"
#include "framework/media_records.h"
#include "framework/record_copies.h"
#include "framework/request.h"
#include "framework/service_provider.h"
#include "framework/service_provider_entries.h"

using namespace entries;

LONG CServiceProvider::lineGatherDigits(CTSPICallAppearance* pCall, DWORD dwEndToEndID,
                                        DWORD dwDigitModes, LPWSTR lpsDigits, DWORD dwNumDigits,
                                        LPCSTR pszTerminationDigits, DWORD dwFirstDigitTimeout,
                                        DWORD dwInterDigitTimeout) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  if (lpsDigits != nullptr && dwNumDigits == 0) return LINEERR_INVALPARAM;
  auto* pGather = NewRecord<TSPIDIGITGATHER>();
  if (pGather == nullptr) return LINEERR_NOMEM;
  pGather->dwEndToEndID = dwEndToEndID;
  pGather->dwDigitModes = dwDigitModes;
  pGather->lpBuffer = lpsDigits;
  pGather->dwSize = dwNumDigits;
  if (pszTerminationDigits != nullptr) pGather->strTerminationDigits = pszTerminationDigits;
  pGather->dwFirstDigitTimeout = dwFirstDigitTimeout;
  pGather->dwInterDigitTimeout = dwInterDigitTimeout;
  return HandOver(pCall->GatherDigits(pGather), pGather);
}

LONG CServiceProvider::lineGenerateDigits(CTSPICallAppearance* pCall, DWORD dwEndToEndID,
                                          DWORD dwDigitMode, LPCSTR pszDigits, DWORD dwDuration) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  auto* pGenerate = NewRecord<TSPIGENERATE>();
  if (pGenerate == nullptr) return LINEERR_NOMEM;
  pGenerate->dwEndToEndID = dwEndToEndID;
  pGenerate->dwMode = dwDigitMode;
  pGenerate->dwDuration = dwDuration;
  if (pszDigits != nullptr) pGenerate->strDigits = pszDigits;
  return HandOver(pCall->GenerateDigits(pGenerate), pGenerate);
}

LONG CServiceProvider::lineGenerateTone(CTSPICallAppearance* pCall, DWORD dwEndToEndID,
                                        DWORD dwToneMode, DWORD dwDuration, DWORD dwNumTones,
                                        LPLINEGENERATETONE const lpTones) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  auto* pGenerate = NewRecord<TSPIGENERATE>();
  if (pGenerate == nullptr) return LINEERR_NOMEM;
  pGenerate->dwEndToEndID = dwEndToEndID;
  pGenerate->dwMode = dwToneMode;
  pGenerate->dwDuration = dwDuration;
  if (!AppendEntryCopies(pGenerate->arrTones, lpTones, dwNumTones)) {
    return HandOver(LINEERR_NOMEM, pGenerate);
  }
  return HandOver(pCall->GenerateTone(pGenerate), pGenerate);
}

LONG CServiceProvider::lineMonitorDigits(CTSPICallAppearance* pCall, DWORD dwDigitModes) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  return pCall->MonitorDigits(dwDigitModes);
}

LONG CServiceProvider::lineMonitorMedia(CTSPICallAppearance* pCall, DWORD dwMediaModes) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  return pCall->MonitorMedia(dwMediaModes);
}

LONG CServiceProvider::lineMonitorTones(CTSPICallAppearance* pCall, DWORD dwToneListID,
                                        LPLINEMONITORTONE const lpToneList, DWORD dwNumEntries) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  if (lpToneList != nullptr && dwNumEntries == 0) return LINEERR_INVALPARAM;
  auto* pMonitor = NewRecord<TSPITONEMONITOR>();
  if (pMonitor == nullptr) return LINEERR_NOMEM;
  pMonitor->dwToneListID = dwToneListID;
  if (!AppendEntryCopies(pMonitor->arrTones, lpToneList, dwNumEntries)) {
    return HandOver(LINEERR_NOMEM, pMonitor);
  }
  return HandOver(pCall->MonitorTones(pMonitor), pMonitor);
}

LONG CServiceProvider::lineSetMediaMode(CTSPICallAppearance* pCall, DWORD dwMediaMode) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  return pCall->SetMediaMode(dwMediaMode);
}

LONG CServiceProvider::lineConditionalMediaDetection(CTSPILineConnection* pLine, DWORD dwMediaModes,
                                                     LPLINECALLPARAMS const lpCallParams) {
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  return pLine->ConditionalMediaDetection(dwMediaModes, lpCallParams);
}

LONG CServiceProvider::lineSetDefaultMediaDetection(CTSPILineConnection* pLine,
                                                    DWORD dwMediaModes) {
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  return pLine->SetDefaultMediaDetection(dwMediaModes);
}

LONG CServiceProvider::lineSetMediaControl(
    CTSPILineConnection* pLine, CTSPIAddressInfo* pAddr, CTSPICallAppearance* pCall,
    LPLINEMEDIACONTROLDIGIT const lpDigitList, DWORD dwDigitNumEntries,
    LPLINEMEDIACONTROLMEDIA const lpMediaList, DWORD dwMediaNumEntries,
    LPLINEMEDIACONTROLTONE const lpToneList, DWORD dwToneNumEntries,
    LPLINEMEDIACONTROLCALLSTATE const lpCallStateList, DWORD dwCallStateNumEntries) {
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  // Each object the request names must offer media control.
  if ((pLine->GetLineDevStatus().dwLineFeatures & LINEFEATURE_SETMEDIACONTROL) == 0 ||
      (pAddr != nullptr &&
       (pAddr->GetAddressStatusCopy().dwAddressFeatures & LINEADDRFEATURE_SETMEDIACONTROL) == 0) ||
      (pCall != nullptr && (pCall->GetCallFeatures() & LINECALLFEATURE_SETMEDIACONTROL) == 0)) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  auto* pMC = NewRecord<TSPIMEDIACONTROL>();
  if (pMC == nullptr) return LINEERR_NOMEM;
  // Until a request holds it, the record's count is 0 and Release discards it.
  if (!AppendEntryCopies(pMC->arrDigits, lpDigitList, dwDigitNumEntries) ||
      !AppendEntryCopies(pMC->arrMedia, lpMediaList, dwMediaNumEntries) ||
      !AppendEntryCopies(pMC->arrTones, lpToneList, dwToneNumEntries) ||
      !AppendEntryCopies(pMC->arrCallStates, lpCallStateList, dwCallStateNumEntries)) {
    pMC->Release();
    return LINEERR_NOMEM;
  }
  const LONG lCheck = pLine->CheckMediaControl(pMC);
  if (lCheck < 0) {
    pMC->Release();
    return lCheck;
  }
  CTSPIRequestPtr pReq = pLine->QueueRequest(pAddr, pCall, REQUEST_LINESETMEDIACONTROL, 0, pMC, 0);
  if (!pReq) {
    pMC->Release();
    return LINEERR_OPERATIONFAILED;
  }
  // The reference held here keeps the request readable after it leaves the queue.
  const LONG lResult = pReq->WaitForCompletion(GetDefaultRequestWait());
  return lResult == -1 ? LINEERR_OPERATIONFAILED : lResult;
}
