// The provider's entries that make calls or work on an address: make call, pickup, unpark,
// transfer and conference, terminals, and the address's pass-through operations.
#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/conference_call.h"
#include "framework/line_connection.h"
#include "framework/record_copies.h"
#include "framework/request_records.h"
#include "framework/service_provider.h"
#include "framework/service_provider_entries.h"

using namespace entries;

LONG CServiceProvider::lineMakeCall(CTSPILineConnection* pLine, DRV_REQUESTID dwRequestID,
                                    HTAPICALL htCall, LPHDRVCALL lphdCall, LPCSTR pszDestAddress,
                                    DWORD dwCountryCode, LPLINECALLPARAMS const lpCallParams) {
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  LPLINECALLPARAMS lpCopy = nullptr;
  if (lpCallParams != nullptr) {
    const LONG lCopy = CopyCallParams(lpCallParams, &lpCopy);
    if (lCopy != 0) return lCopy;
    // Read from the copy: a short structure reads as zero beyond its end.
    const DWORD dwLimit = pLine->GetLineDevCaps().dwUUIMakeCallSize;
    if (lpCopy->dwUserUserInfoOffset != 0 && dwLimit != 0 && dwLimit < lpCopy->dwUserUserInfoSize) {
      FreeBuffer(lpCopy);
      return LINEERR_USERUSERINFOTOOBIG;
    }
  }
  auto* pMakeCall = NewRecord<TSPIMAKECALL>();
  if (pMakeCall == nullptr) {
    FreeBuffer(lpCopy);
    return LINEERR_NOMEM;
  }
  pMakeCall->dwCountryCode = dwCountryCode;
  pMakeCall->lpCallParams = lpCopy;
  if (pszDestAddress != nullptr && *pszDestAddress != '\0') {
    const LONG lParse = ParseDialableAddressList(pLine, nullptr, pszDestAddress,
                                                 pMakeCall->arrAddresses, dwCountryCode);
    if (lParse < 0) return HandOver(lParse, pMakeCall);
  }
  if (lpCopy != nullptr) {
    const LONG lDefaults = ApplyCallParamDefaults(pLine, lpCopy);
    if (lDefaults != 0) return HandOver(lDefaults, pMakeCall);
  }
  CTSPICallAppearance* pCall = nullptr;
  const LONG lResult = pLine->MakeCall(dwRequestID, htCall, &pCall, pMakeCall);
  if (lResult >= 0) StoreCallHandle(lphdCall, pCall);
  return HandOver(lResult, pMakeCall);
}

LONG CServiceProvider::linePickup(CTSPIAddressInfo* pAddr, DRV_REQUESTID dwRequestID,
                                  HTAPICALL htCall, LPHDRVCALL lphdCall, LPCSTR pszDestAddress,
                                  LPCSTR pszGroupID) {
  if (pAddr == nullptr) return LINEERR_INVALADDRESSID;
  auto* pPickup = NewRecord<TSPILINEPICKUP>();
  if (pPickup == nullptr) return LINEERR_NOMEM;
  if (pszGroupID != nullptr) pPickup->strGroupID = pszGroupID;
  if (pszDestAddress != nullptr && *pszDestAddress != '\0') {
    const LONG lParse = ParseDialableAddressList(pAddr->GetLineOwner(), pAddr, pszDestAddress,
                                                 pPickup->arrAddresses, 0);
    if (lParse < 0) return HandOver(lParse, pPickup);
  }
  CTSPICallAppearance* pCall = nullptr;
  const LONG lResult = pAddr->Pickup(dwRequestID, htCall, &pCall, pPickup);
  if (lResult >= 0) StoreCallHandle(lphdCall, pCall);
  return HandOver(lResult, pPickup);
}

LONG CServiceProvider::lineUnpark(CTSPIAddressInfo* pAddr, DRV_REQUESTID dwRequestID,
                                  HTAPICALL htCall, LPHDRVCALL lphdCall, LPCSTR pszDestAddress) {
  if (pAddr == nullptr) return LINEERR_INVALADDRESSID;
  CADObArray* pList = nullptr;
  const LONG lParse =
      ParseRequiredAddress(this, pAddr->GetLineOwner(), pAddr, pszDestAddress, 0, &pList);
  if (lParse != 0) return lParse;
  CTSPICallAppearance* pCall = nullptr;
  const LONG lResult = pAddr->Unpark(dwRequestID, htCall, &pCall, pList);
  if (lResult >= 0) StoreCallHandle(lphdCall, pCall);
  return HandOver(lResult, pList);
}

LONG CServiceProvider::lineSetupTransfer(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                         HTAPICALL htConsultCall, LPHDRVCALL lphdConsultCall,
                                         LPLINECALLPARAMS const lpCallParams) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  CTSPILineConnection* pLine = LineOfCall(pCall);
  LPLINECALLPARAMS lpCopy = nullptr;
  const LONG lCopy = CopyCallParamsWithDefaults(this, pLine, lpCallParams, &lpCopy);
  if (lCopy != 0) return lCopy;
  auto* pTransfer = NewRecord<TSPITRANSFER>();
  if (pTransfer == nullptr) {
    FreeBuffer(lpCopy);
    return LINEERR_NOMEM;
  }
  pTransfer->pCall = pCall;
  pTransfer->lpCallParams = lpCopy;
  CTSPIAddressInfo* pAddr = pCall->GetAddressOwner();
  if (lpCopy != nullptr && lpCopy->dwAddressMode == LINEADDRESSMODE_ADDRESSID) {
    pAddr = pLine != nullptr ? pLine->GetAddress(lpCopy->dwAddressID) : nullptr;
    if (pAddr == nullptr) return HandOver(LINEERR_INVALCALLPARAMS, pTransfer);
  }
  if (pAddr == nullptr) return HandOver(LINEERR_INVALCALLHANDLE, pTransfer);
  CTSPICallAppearance* pConsult = nullptr;
  const LONG lResult = pAddr->SetupTransfer(dwRequestID, pTransfer, htConsultCall, &pConsult);
  if (lResult >= 0) StoreCallHandle(lphdConsultCall, pConsult);
  return HandOver(lResult, pTransfer);
}

LONG CServiceProvider::lineCompleteTransfer(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                            CTSPICallAppearance* pConsultCall, HTAPICALL htConfCall,
                                            LPHDRVCALL lphdConfCall, DWORD dwTransferMode) {
  if (pCall == nullptr || pConsultCall == nullptr) return LINEERR_INVALCALLHANDLE;
  CTSPIAddressInfo* pAddr = pCall->GetAddressOwner();
  if (pAddr == nullptr) return LINEERR_INVALCALLHANDLE;
  auto* pTransfer = NewRecord<TSPITRANSFER>();
  if (pTransfer == nullptr) return LINEERR_NOMEM;
  pTransfer->pCall = pCall;
  pTransfer->pConsult = pConsultCall;
  pTransfer->dwTransferMode = dwTransferMode;
  CTSPIConferenceCall* pConf = nullptr;
  const LONG lResult = pAddr->CompleteTransfer(dwRequestID, pTransfer, htConfCall,
                                               lphdConfCall != nullptr ? &pConf : nullptr);
  if (lResult >= 0 && pConf != nullptr) StoreCallHandle(lphdConfCall, pConf);
  return HandOver(lResult, pTransfer);
}

LONG CServiceProvider::lineSetupConference(CTSPILineConnection* pLine, CTSPICallAppearance* pCall,
                                           DRV_REQUESTID dwRequestID, HTAPICALL htConfCall,
                                           LPHDRVCALL lphdConfCall, HTAPICALL htConsultCall,
                                           LPHDRVCALL lphdConsultCall, DWORD dwNumParties,
                                           LPLINECALLPARAMS const lpCallParams) {
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  // The address is chosen with TAPI's parameters as they came, read from a copy that is never
  // shorter than the structure.
  LPLINECALLPARAMS lpCopy = nullptr;
  if (lpCallParams != nullptr) {
    const LONG lCopy = CopyCallParams(lpCallParams, &lpCopy);
    if (lCopy != 0) return lCopy;
  }
  CTSPIAddressInfo* pAddr =
      pCall != nullptr ? pCall->GetAddressOwner() : pLine->FindAddressForCall(lpCopy, 0);
  if (pAddr == nullptr) {
    FreeBuffer(lpCopy);
    return LINEERR_INVALLINEHANDLE;
  }
  if (lpCopy != nullptr) {
    const LONG lDefaults = ApplyCallParamDefaults(pLine, lpCopy);
    if (lDefaults != 0) {
      FreeBuffer(lpCopy);
      return lDefaults;
    }
  }
  auto* pConfRec = NewRecord<TSPICONFERENCE>();
  if (pConfRec == nullptr) {
    FreeBuffer(lpCopy);
    return LINEERR_NOMEM;
  }
  pConfRec->pCall = pCall;
  pConfRec->dwPartyCount = dwNumParties;
  pConfRec->lpCallParams = lpCopy;
  CTSPIConferenceCall* pConf = nullptr;
  CTSPICallAppearance* pConsult = nullptr;
  const LONG lResult =
      pAddr->SetupConference(dwRequestID, pConfRec, htConfCall, &pConf, htConsultCall, &pConsult);
  if (lResult >= 0) {
    StoreCallHandle(lphdConfCall, pConf);
    StoreCallHandle(lphdConsultCall, pConsult);
  }
  return HandOver(lResult, pConfRec);
}

LONG CServiceProvider::linePrepareAddToConference(CTSPIConferenceCall* pConfCall,
                                                  DRV_REQUESTID dwRequestID,
                                                  HTAPICALL htConsultCall,
                                                  LPHDRVCALL lphdConsultCall,
                                                  LPLINECALLPARAMS const lpCallParams) {
  if (pConfCall == nullptr) return LINEERR_INVALCONFCALLHANDLE;
  LPLINECALLPARAMS lpCopy = nullptr;
  const LONG lCopy = CopyCallParamsWithDefaults(this, LineOfCall(pConfCall), lpCallParams, &lpCopy);
  if (lCopy != 0) return lCopy;
  auto* pConfRec = NewRecord<TSPICONFERENCE>();
  if (pConfRec == nullptr) {
    FreeBuffer(lpCopy);
    return LINEERR_NOMEM;
  }
  pConfRec->pConfCall = pConfCall;
  pConfRec->lpCallParams = lpCopy;
  CTSPICallAppearance* pConsult = nullptr;
  const LONG lResult =
      pConfCall->PrepareAddToConference(dwRequestID, htConsultCall, &pConsult, pConfRec);
  if (lResult >= 0) StoreCallHandle(lphdConsultCall, pConsult);
  return HandOver(lResult, pConfRec);
}

LONG CServiceProvider::lineAddToConference(CTSPIConferenceCall* pConfCall,
                                           CTSPICallAppearance* pConsultCall,
                                           DRV_REQUESTID dwRequestID) {
  if (pConfCall == nullptr) return LINEERR_INVALCONFCALLHANDLE;
  if (pConsultCall == nullptr) return LINEERR_INVALCALLHANDLE;
  auto* pConfRec = NewRecord<TSPICONFERENCE>();
  if (pConfRec == nullptr) return LINEERR_NOMEM;
  pConfRec->pConfCall = pConfCall;
  pConfRec->pConsult = pConsultCall;
  return HandOver(pConfCall->AddToConference(dwRequestID, pConsultCall, pConfRec), pConfRec);
}

LONG CServiceProvider::lineRemoveFromConference(CTSPICallAppearance* pCall,
                                                DRV_REQUESTID dwRequestID) {
  if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
  CTSPIConferenceCall* pConf = pCall->GetConferenceCallRef();
  if (pConf == nullptr) return LINEERR_NOCONFERENCE;
  LONG lResult = LINEERR_NOCONFERENCE;
  if (pConf->GetCallType() == CALLTYPE_CONFERENCE) {
    auto* pConfRec = NewRecord<TSPICONFERENCE>();
    if (pConfRec == nullptr) {
      lResult = LINEERR_NOMEM;
    } else {
      pConfRec->pConfCall = pConf;
      pConfRec->pCall = pCall;
      lResult = HandOver(pConf->RemoveFromConference(dwRequestID, pCall, pConfRec), pConfRec);
    }
  }
  pConf->Release();
  return lResult;
}

LONG CServiceProvider::lineSetTerminal(CTSPILineConnection* pLine, CTSPIAddressInfo* pAddr,
                                       CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                       DWORD dwTerminalModes, DWORD dwTerminalID, DWORD bEnable) {
  if (pLine == nullptr && pAddr == nullptr && pCall == nullptr) return LINEERR_INVALLINEHANDLE;
  auto* pTerm = NewRecord<TSPILINESETTERMINAL>();
  if (pTerm == nullptr) return LINEERR_NOMEM;
  pTerm->pLine = pLine;
  pTerm->pAddress = pAddr;
  pTerm->pCall = pCall;
  pTerm->dwTerminalModes = dwTerminalModes;
  pTerm->dwTerminalID = dwTerminalID;
  pTerm->bEnable = bEnable;
  LONG lResult = 0;
  if (pCall != nullptr) {
    lResult = pCall->SetTerminal(dwRequestID, pTerm);
  } else if (pAddr != nullptr) {
    lResult = pAddr->SetTerminal(dwRequestID, pTerm);
  } else {
    lResult = pLine->SetTerminal(dwRequestID, pTerm);
  }
  return HandOver(lResult, pTerm);
}

LONG CServiceProvider::lineGetAddressCaps(CTSPIAddressInfo* pAddr, DWORD dwTSPIVersion,
                                          DWORD dwExtVersion, LPLINEADDRESSCAPS lpAddressCaps) {
  if (pAddr == nullptr) return LINEERR_INVALADDRESSID;
  return pAddr->GetAddressCaps(dwTSPIVersion, dwExtVersion, lpAddressCaps);
}

LONG CServiceProvider::lineGetAddressStatus(CTSPIAddressInfo* pAddr,
                                            LPLINEADDRESSSTATUS lpAddressStatus) {
  if (pAddr == nullptr) return LINEERR_INVALADDRESSID;
  return pAddr->GetAddressStatus(lpAddressStatus);
}
