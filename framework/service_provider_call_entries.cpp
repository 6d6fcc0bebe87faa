// The provider's call request entries: user-user information, dialable addresses, park,
// completion, call parameters and data, and the calls' pass-through operations; and the helpers
// every entry family shares.
#include <cstring>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/device.h"
#include "framework/line_connection.h"
#include "framework/record_copies.h"
#include "framework/request_records.h"
#include "framework/service_provider.h"
#include "framework/service_provider_entries.h"

namespace entries {

LONG CopyCallParamsWithDefaults(CServiceProvider* pSP, CTSPILineConnection* pLine,
                                const LINECALLPARAMS* lpSource, LPLINECALLPARAMS* lppCopy) {
  *lppCopy = nullptr;
  if (lpSource == nullptr) return 0;
  LPLINECALLPARAMS lpCopy = nullptr;
  const LONG lCopy = CopyCallParams(lpSource, &lpCopy);
  if (lCopy != 0) return lCopy;
  const LONG lDefaults = pSP->ApplyCallParamDefaults(pLine, lpCopy);
  if (lDefaults != 0) {
    FreeBuffer(lpCopy);
    return lDefaults;
  }
  *lppCopy = lpCopy;
  return 0;
}

LONG CheckUserUserInfo(DWORD dwLimit, LPCSTR lpsInfo, DWORD dwSize, LPCSTR* plpsPass,
                       DWORD* pdwPass) {
  *plpsPass = nullptr;
  *pdwPass = 0;
  if (lpsInfo == nullptr || dwSize == 0 || dwLimit == 0) return 0;
  if (dwSize > dwLimit) return LINEERR_USERUSERINFOTOOBIG;
  // The call copies what it queues.
  *plpsPass = lpsInfo;
  *pdwPass = dwSize;
  return 0;
}

LONG ParseRequiredAddress(CServiceProvider* pSP, CTSPILineConnection* pLine,
                          CTSPIAddressInfo* pAddr, LPCSTR pszAddress, DWORD dwCountryCode,
                          CADObArray** ppList) {
  *ppList = nullptr;
  if (pszAddress == nullptr || *pszAddress == '\0') return LINEERR_INVALADDRESS;
  auto* pList = NewRecord<CADObArray>();
  if (pList == nullptr) return LINEERR_NOMEM;
  const LONG lResult =
      pSP->ParseDialableAddressList(pLine, pAddr, pszAddress, *pList, dwCountryCode);
  if (lResult < 0) {
    delete pList;
    return lResult;
  }
  *ppList = pList;
  return 0;
}

CTSPILineConnection* LineOfCall(CTSPICallAppearance* pCall) {
  return pCall != nullptr ? pCall->GetLineOwner() : nullptr;
}

void StoreCallHandle(LPHDRVCALL lphdCall, CTSPICallAppearance* pCall) {
  if (lphdCall != nullptr) *lphdCall = reinterpret_cast<HDRVCALL>(pCall);
}

}  // namespace entries

using namespace entries;

namespace {

// The line's limit for one kind of user-user information; 0 (no check) without a line.
DWORD UserUserLimit(CTSPICallAppearance* pCall, DWORD LINEDEVCAPS::*pLimit) {
  CTSPILineConnection* pLine = LineOfCall(pCall);
  return pLine != nullptr ? pLine->GetLineDevCaps().*pLimit : 0;
}

// A request that carries user-user information: checked against the line's limit for its kind,
// then handed to the call's operation.
LONG UserUserRequest(CTSPICallAppearance* pCall, DWORD LINEDEVCAPS::*pLimit,
                     LONG (CTSPICallAppearance::*pfnOp)(DRV_REQUESTID, LPCSTR, DWORD),
                     DRV_REQUESTID dwRequestID, LPCSTR lpsUserUserInfo, DWORD dwSize) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  LPCSTR lpsPass = nullptr;
  DWORD dwPass = 0;
  const LONG lCheck =
      CheckUserUserInfo(UserUserLimit(pCall, pLimit), lpsUserUserInfo, dwSize, &lpsPass, &dwPass);
  if (lCheck != 0) return lCheck;
  return (pCall->*pfnOp)(dwRequestID, lpsPass, dwPass);
}

// A dialable-address request: checked, parsed with the call's line and address, handed to op.
template <class Op>
LONG DialRequest(CServiceProvider* pSP, CTSPICallAppearance* pCall, LPCSTR pszAddress,
                 DWORD dwCountryCode, Op op) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  CADObArray* pList = nullptr;
  const LONG lParse = ParseRequiredAddress(pSP, LineOfCall(pCall), pCall->GetAddressOwner(),
                                           pszAddress, dwCountryCode, &pList);
  if (lParse != 0) return lParse;
  return HandOver(op(pList), pList);
}

}  // namespace

LONG CServiceProvider::lineCloseCall(CTSPICallAppearance* pCall) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  return pCall->CloseCall();
}

LONG CServiceProvider::lineDrop(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                LPCSTR lpsUserUserInfo, DWORD dwSize) {
  return UserUserRequest(pCall, &LINEDEVCAPS::dwUUIDropSize, &CTSPICallAppearance::Drop,
                         dwRequestID, lpsUserUserInfo, dwSize);
}

LONG CServiceProvider::lineAccept(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                  LPCSTR lpsUserUserInfo, DWORD dwSize) {
  return UserUserRequest(pCall, &LINEDEVCAPS::dwUUIAcceptSize, &CTSPICallAppearance::Accept,
                         dwRequestID, lpsUserUserInfo, dwSize);
}

LONG CServiceProvider::lineAnswer(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                  LPCSTR lpsUserUserInfo, DWORD dwSize) {
  return UserUserRequest(pCall, &LINEDEVCAPS::dwUUIAnswerSize, &CTSPICallAppearance::Answer,
                         dwRequestID, lpsUserUserInfo, dwSize);
}

LONG CServiceProvider::lineSendUserUserInfo(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                            LPCSTR lpsUserUserInfo, DWORD dwSize) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  if (lpsUserUserInfo == nullptr || dwSize == 0) return LINEERR_OPERATIONFAILED;
  if (dwSize > UserUserLimit(pCall, &LINEDEVCAPS::dwUUISendUserUserInfoSize)) {
    return LINEERR_USERUSERINFOTOOBIG;
  }
  return pCall->SendUserUserInfo(dwRequestID, lpsUserUserInfo, dwSize);
}

LONG CServiceProvider::lineDial(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                LPCSTR pszDestAddress, DWORD dwCountryCode) {
  return DialRequest(this, pCall, pszDestAddress, dwCountryCode, [&](CADObArray* pList) {
    return pCall->Dial(dwRequestID, pList, dwCountryCode);
  });
}

LONG CServiceProvider::lineBlindTransfer(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                         LPCSTR pszDestAddress, DWORD dwCountryCode) {
  return DialRequest(this, pCall, pszDestAddress, dwCountryCode, [&](CADObArray* pList) {
    return pCall->BlindTransfer(dwRequestID, pList, dwCountryCode);
  });
}

LONG CServiceProvider::lineRedirect(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                    LPCSTR pszDestAddress, DWORD dwCountryCode) {
  return DialRequest(this, pCall, pszDestAddress, dwCountryCode, [&](CADObArray* pList) {
    return pCall->Redirect(dwRequestID, pList, dwCountryCode);
  });
}

LONG CServiceProvider::linePark(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                DWORD dwParkMode, LPCSTR pszDirAddress,
                                LPVARSTRING lpNonDirAddress) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  if (dwParkMode == LINEPARKMODE_DIRECTED && pszDirAddress == nullptr) {
    return LINEERR_INVALADDRESS;
  }
  auto* pPark = NewRecord<TSPILINEPARK>();
  if (pPark == nullptr) return LINEERR_NOMEM;
  pPark->dwParkMode = dwParkMode;
  pPark->lpNonDirAddress = lpNonDirAddress;
  if (dwParkMode == LINEPARKMODE_DIRECTED && *pszDirAddress != '\0') {
    const LONG lParse = ParseDialableAddressList(LineOfCall(pCall), pCall->GetAddressOwner(),
                                                 pszDirAddress, pPark->arrAddresses, 0);
    if (lParse < 0) return HandOver(lParse, pPark);
  }
  return HandOver(pCall->Park(dwRequestID, pPark), pPark);
}

LONG CServiceProvider::lineCompleteCall(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                        LPDWORD lpdwCompletionID, DWORD dwCompletionMode,
                                        DWORD dwMessageID) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  auto* pComplete = NewRecord<TSPICOMPLETECALL>();
  if (pComplete == nullptr) return LINEERR_NOMEM;
  pComplete->dwCompletionMode = dwCompletionMode;
  pComplete->dwMessageID = dwMessageID;
  pComplete->pCall = pCall;
  return HandOver(pCall->CompleteCall(dwRequestID, lpdwCompletionID, pComplete), pComplete);
}

LONG CServiceProvider::lineSetCallParams(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                         DWORD dwBearerMode, DWORD dwMinRate, DWORD dwMaxRate,
                                         LPLINEDIALPARAMS const lpDialParams) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  auto* pParams = NewRecord<TSPICALLPARAMS>();
  if (pParams == nullptr) return LINEERR_NOMEM;
  pParams->dwBearerMode = dwBearerMode;
  pParams->dwMinRate = dwMinRate;
  pParams->dwMaxRate = dwMaxRate;
  if (lpDialParams != nullptr) pParams->DialParams = *lpDialParams;
  return HandOver(pCall->SetCallParams(dwRequestID, pParams), pParams);
}

LONG CServiceProvider::lineSetCallData(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                       LPVOID lpCallData, DWORD dwSize) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  if (lpCallData == nullptr && dwSize != 0) return LINEERR_INVALPOINTER;
  auto* pData = NewRecord<TSPICALLDATA>();
  if (pData == nullptr) return LINEERR_NOMEM;
  if (dwSize != 0) {
    pData->lpvCallData = CopyTapiBuffer(lpCallData, dwSize);
    if (pData->lpvCallData == nullptr) return HandOver(LINEERR_NOMEM, pData);
    pData->dwSize = dwSize;
  }
  return HandOver(pCall->SetCallData(dwRequestID, pData), pData);
}

LONG CServiceProvider::lineSetCallQualityOfService(
    CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID, LPVOID lpSendingFlowspec,
    DWORD dwSendingFlowspecSize, LPVOID lpReceivingFlowspec, DWORD dwReceivingFlowspecSize) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  if ((lpSendingFlowspec == nullptr && dwSendingFlowspecSize != 0) ||
      (lpReceivingFlowspec == nullptr && dwReceivingFlowspecSize != 0)) {
    return LINEERR_INVALPOINTER;
  }
  auto* pQOS = NewRecord<TSPIQOS>();
  if (pQOS == nullptr) return LINEERR_NOMEM;
  if (dwSendingFlowspecSize != 0) {
    pQOS->lpvSendingFlowSpec = CopyTapiBuffer(lpSendingFlowspec, dwSendingFlowspecSize);
    if (pQOS->lpvSendingFlowSpec == nullptr) return HandOver(LINEERR_NOMEM, pQOS);
    pQOS->dwSendingFlowSpecSize = dwSendingFlowspecSize;
  }
  if (dwReceivingFlowspecSize != 0) {
    pQOS->lpvReceivingFlowSpec = CopyTapiBuffer(lpReceivingFlowspec, dwReceivingFlowspecSize);
    if (pQOS->lpvReceivingFlowSpec == nullptr) return HandOver(LINEERR_NOMEM, pQOS);
    pQOS->dwReceivingFlowSpecSize = dwReceivingFlowspecSize;
  }
  return HandOver(pCall->SetCallQualityOfService(dwRequestID, pQOS), pQOS);
}

LONG CServiceProvider::lineSetCallTreatment(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                            DWORD dwTreatment) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  return pCall->SetCallTreatment(dwRequestID, dwTreatment);
}

LONG CServiceProvider::lineReleaseUserUserInfo(CTSPICallAppearance* pCall,
                                               DRV_REQUESTID dwRequestID) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  const LONG lResult = pCall->ReleaseUserUserInfo();
  if (lResult != 0) return lResult;
  // The call releases at once; TAPI still waits for its request to complete.
  CTSPILineConnection* pLine = LineOfCall(pCall);
  CTSPIDevice* pDevice = pLine != nullptr ? pLine->GetDevice() : nullptr;
  const ASYNC_COMPLETION lpfnCompletion =
      pDevice != nullptr ? pDevice->GetCompletionProc() : nullptr;
  if (dwRequestID != 0 && lpfnCompletion != nullptr) lpfnCompletion(dwRequestID, 0);
  return static_cast<LONG>(dwRequestID);
}

LONG CServiceProvider::lineSecureCall(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  return pCall->SecureCall(dwRequestID);
}

LONG CServiceProvider::lineHold(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  return pCall->Hold(dwRequestID);
}

LONG CServiceProvider::lineUnhold(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  return pCall->Unhold(dwRequestID);
}

LONG CServiceProvider::lineSwapHold(CTSPICallAppearance* pActiveCall, DRV_REQUESTID dwRequestID,
                                    CTSPICallAppearance* pHeldCall) {
  if (pActiveCall == nullptr || pHeldCall == nullptr) return LINEERR_INVALCALLHANDLE;
  return pActiveCall->SwapHold(dwRequestID, pHeldCall);
}

LONG CServiceProvider::lineGetCallAddressID(CTSPICallAppearance* pCall, LPDWORD lpdwAddressID) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  if (lpdwAddressID == nullptr) return LINEERR_INVALPOINTER;
  CTSPIAddressInfo* pAddr = pCall->GetAddressOwner();
  if (pAddr == nullptr) return LINEERR_INVALCALLHANDLE;
  *lpdwAddressID = pAddr->GetAddressID();
  return 0;
}

LONG CServiceProvider::lineGetCallInfo(CTSPICallAppearance* pCall, LPLINECALLINFO lpCallInfo) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  return pCall->GetCallInfo(lpCallInfo);
}

LONG CServiceProvider::lineGetCallStatus(CTSPICallAppearance* pCall,
                                         LPLINECALLSTATUS lpCallStatus) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  return pCall->GetCallStatus(lpCallStatus);
}

LONG CServiceProvider::lineSetAppSpecific(CTSPICallAppearance* pCall, DWORD dwAppSpecific) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  pCall->SetAppSpecific(dwAppSpecific);
  return 0;
}
