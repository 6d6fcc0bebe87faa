// CTSPICallAppearance: LINECALLINFO and LINECALLSTATUS for TAPI, and lineGetID for a call.
#include <cstring>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/device_class.h"
#include "framework/line_connection.h"
#include "framework/service_provider.h"
#include "framework/var_struct.h"
#include "platform/afxmt.h"

namespace {

constexpr DWORD kCallInfoSize20 = 324;
constexpr DWORD kCallInfoSize1x = 296;
constexpr DWORD kCallStatusSize20 = 56;
constexpr DWORD kCallStatusSize1x = 36;

}  // namespace

LONG CTSPICallAppearance::GetCallStatus(LPLINECALLSTATUS lpCallStatus) {
  if (lpCallStatus == nullptr) return LINEERR_INVALPOINTER;
  CTSPILineConnection* pLine = GetLineOwner();
  const DWORD dwVersion = (pLine != nullptr) ? pLine->GetNegotiatedVersion() : TAPIVER_20;
  const DWORD dwSize = (dwVersion < TAPIVER_20) ? kCallStatusSize1x : kCallStatusSize20;
  if (lpCallStatus->dwTotalSize < dwSize) return LINEERR_STRUCTURETOOSMALL;
  CSingleLock lock(GetSyncObject(), TRUE);
  m_CallStatus.dwCallPrivilege = lpCallStatus->dwCallPrivilege;
  m_CallStatus.dwTotalSize = lpCallStatus->dwTotalSize;
  m_CallStatus.dwNeededSize = dwSize;
  m_CallStatus.dwUsedSize = dwSize;
  std::memcpy(lpCallStatus, &m_CallStatus, dwSize);
  return 0;
}

LONG CTSPICallAppearance::GetCallInfo(LPLINECALLINFO lpCallInfo) {
  if (lpCallInfo == nullptr) return LINEERR_INVALPOINTER;
  CTSPILineConnection* pLine = GetLineOwner();
  const DWORD dwVersion = (pLine != nullptr) ? pLine->GetNegotiatedVersion() : TAPIVER_20;
  const DWORD dwSize = (dwVersion < TAPIVER_20) ? kCallInfoSize1x : kCallInfoSize20;
  if (lpCallInfo->dwTotalSize < dwSize) return LINEERR_STRUCTURETOOSMALL;

  CSingleLock lock(GetSyncObject(), TRUE);
  LINECALLINFO& info = m_CallInfo;
  info.dwTotalSize = lpCallInfo->dwTotalSize;
  info.hLine = lpCallInfo->hLine;
  info.dwNumOwners = lpCallInfo->dwNumOwners;
  info.dwNumMonitors = lpCallInfo->dwNumMonitors;
  info.dwAppNameSize = lpCallInfo->dwAppNameSize;
  info.dwAppNameOffset = lpCallInfo->dwAppNameOffset;
  info.dwDisplayableAddressSize = lpCallInfo->dwDisplayableAddressSize;
  info.dwDisplayableAddressOffset = lpCallInfo->dwDisplayableAddressOffset;
  info.dwCalledPartySize = lpCallInfo->dwCalledPartySize;
  info.dwCalledPartyOffset = lpCallInfo->dwCalledPartyOffset;
  info.dwCommentSize = lpCallInfo->dwCommentSize;
  info.dwCommentOffset = lpCallInfo->dwCommentOffset;
  info.dwNeededSize = dwSize;
  info.dwUsedSize = dwSize;
  // The variable parts are written anew each time.
  LINECALLINFO copy = info;
  copy.dwCallerIDSize = copy.dwCallerIDOffset = copy.dwCallerIDNameSize = 0;
  copy.dwCallerIDNameOffset = copy.dwCalledIDSize = copy.dwCalledIDOffset = 0;
  copy.dwCalledIDNameSize = copy.dwCalledIDNameOffset = copy.dwConnectedIDSize = 0;
  copy.dwConnectedIDOffset = copy.dwConnectedIDNameSize = copy.dwConnectedIDNameOffset = 0;
  copy.dwRedirectionIDSize = copy.dwRedirectionIDOffset = copy.dwRedirectionIDNameSize = 0;
  copy.dwRedirectionIDNameOffset = copy.dwRedirectingIDSize = copy.dwRedirectingIDOffset = 0;
  copy.dwRedirectingIDNameSize = copy.dwRedirectingIDNameOffset = 0;
  copy.dwUserUserInfoSize = copy.dwUserUserInfoOffset = 0;
  copy.dwTerminalModesSize = copy.dwTerminalModesOffset = 0;
  copy.dwCallDataSize = copy.dwCallDataOffset = 0;
  copy.dwSendingFlowspecSize = copy.dwSendingFlowspecOffset = 0;
  copy.dwReceivingFlowspecSize = copy.dwReceivingFlowspecOffset = 0;
  copy.dwDisplaySize = copy.dwDisplayOffset = copy.dwHighLevelCompSize = 0;
  copy.dwHighLevelCompOffset = copy.dwLowLevelCompSize = copy.dwLowLevelCompOffset = 0;
  copy.dwChargingInfoSize = copy.dwChargingInfoOffset = 0;
  copy.dwDevSpecificSize = copy.dwDevSpecificOffset = 0;
  if (dwVersion < TAPIVER_14) {
    if (copy.dwOrigin == LINECALLORIGIN_INBOUND) copy.dwOrigin = LINECALLORIGIN_UNAVAIL;
    if (copy.dwBearerMode == LINEBEARERMODE_PASSTHROUGH) copy.dwBearerMode = 0;
    if ((copy.dwReason & 0x3000) != 0) copy.dwReason = LINECALLREASON_UNAVAIL;
    if (copy.dwMediaMode == LINEMEDIAMODE_VOICEVIEW) copy.dwMediaMode = LINEMEDIAMODE_UNKNOWN;
  }
  if (dwVersion < TAPIVER_20) {
    if (copy.dwBearerMode == LINEBEARERMODE_RESTRICTEDDATA) copy.dwBearerMode = 0;
    if ((copy.dwReason & 0xC000) != 0) copy.dwReason = LINECALLREASON_UNAVAIL;
  }
  std::memcpy(lpCallInfo, &copy, dwSize);

  auto putParty = [&](const CALLIDENTIFIER& party, DWORD& dwIdSize, DWORD& dwIdOffset,
                      DWORD& dwNameSize, DWORD& dwNameOffset) {
    if (!party.strPartyId.IsEmpty()) {
      CopyStringIntoVarStruct(lpCallInfo, dwIdOffset, dwIdSize, party.strPartyId);
    }
    if (!party.strPartyName.IsEmpty()) {
      CopyStringIntoVarStruct(lpCallInfo, dwNameOffset, dwNameSize, party.strPartyName);
    }
  };
  LINECALLINFO* p = lpCallInfo;
  putParty(m_CallerID, p->dwCallerIDSize, p->dwCallerIDOffset, p->dwCallerIDNameSize,
           p->dwCallerIDNameOffset);
  putParty(m_CalledID, p->dwCalledIDSize, p->dwCalledIDOffset, p->dwCalledIDNameSize,
           p->dwCalledIDNameOffset);
  putParty(m_ConnectedID, p->dwConnectedIDSize, p->dwConnectedIDOffset, p->dwConnectedIDNameSize,
           p->dwConnectedIDNameOffset);
  putParty(m_RedirectionID, p->dwRedirectionIDSize, p->dwRedirectionIDOffset,
           p->dwRedirectionIDNameSize, p->dwRedirectionIDNameOffset);
  putParty(m_RedirectingID, p->dwRedirectingIDSize, p->dwRedirectingIDOffset,
           p->dwRedirectingIDNameSize, p->dwRedirectingIDNameOffset);
  // Each part counts in dwNeededSize once, whether or not it fits (the helper's rule).
  auto putBlock = [&](DWORD& dwOffset, DWORD& dwBlockSize, LPCVOID lpData, DWORD dwLength) {
    if (lpData == nullptr || dwLength == 0) return;
    CopyIntoVarStruct(p, dwOffset, dwBlockSize, lpData, dwLength);
  };
  putBlock(p->dwTerminalModesOffset, p->dwTerminalModesSize, m_arrTerminalModes.data(),
           static_cast<DWORD>(m_arrTerminalModes.size() * sizeof(DWORD)));
  if (!m_arrUserUserInfo.empty()) {
    const auto& entry = m_arrUserUserInfo.front();
    putBlock(p->dwUserUserInfoOffset, p->dwUserUserInfoSize, entry.data(),
             static_cast<DWORD>(entry.size()));
  }
  if (dwVersion >= TAPIVER_20) {
    putBlock(p->dwCallDataOffset, p->dwCallDataSize, m_lpCallData, m_dwCallDataSize);
    putBlock(p->dwSendingFlowspecOffset, p->dwSendingFlowspecSize, m_lpSendingFlowSpec,
             m_dwSendingFlowSpecSize);
    putBlock(p->dwReceivingFlowspecOffset, p->dwReceivingFlowspecSize, m_lpReceivingFlowSpec,
             m_dwReceivingFlowSpecSize);
  }
  return 0;
}

LONG CTSPICallAppearance::GetID(LPCSTR pszDeviceClass, LPVARSTRING lpDeviceID,
                                HANDLE hTargetProcess) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (DEVICECLASSINFO* pClass =
            CServiceProvider::FindDeviceClass(m_arrDeviceClass, pszDeviceClass)) {
      return CServiceProvider::FillVarStringFromDeviceClass(pClass, lpDeviceID, hTargetProcess);
    }
  }
  if (m_pAddr == nullptr) return LINEERR_INVALDEVICECLASS;
  return m_pAddr->GetID(pszDeviceClass, lpDeviceID, hTargetProcess);
}
