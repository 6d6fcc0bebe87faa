#include "provider/ombix_line.h"

#include <cstring>

#include "framework/device.h"
#include "provider/ombix_settings.h"

IMPLEMENT_DYNCREATE(COmbixLine, CTSPILineConnection)

COmbixLine::COmbixLine() = default;
COmbixLine::~COmbixLine() = default;

void COmbixLine::Init(CTSPIDevice* pDevice, DWORD dwLineDeviceID, DWORD dwPos,
                      DWORD_PTR dwItemData) {
  m_dwLineIndex.store(dwPos);
  CTSPILineConnection::Init(pDevice, dwLineDeviceID, dwPos, dwItemData);
  CString strNumber;
  CString strPassword;
  LoadLineSettings(pDevice != nullptr ? pDevice->GetProviderID() : 0, dwPos, strNumber,
                   strPassword);
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_strNumber = strNumber;
    m_strPassword = strPassword;
    m_strDeviceString = DeviceStringFromNumber(strNumber);
  }
  SetName(strNumber);
}

CString COmbixLine::DeviceStringFromNumber(LPCSTR pszNumber) {
  const CString strNumber(pszNumber != nullptr ? pszNumber : "");
  const int nX = strNumber.Find('x');
  if (nX < 0) return strNumber;
  const CString strLeft = strNumber.Left(nX);
  const CString strRight = strNumber.Mid(nX + 1);
  if (strRight.IsEmpty()) return strLeft;
  if (strLeft.GetLength() >= strRight.GetLength() &&
      strLeft.Right(strRight.GetLength()) == strRight) {
    return strLeft;
  }
  return strRight;
}

void COmbixLine::SetInService() {
  m_dwOutOfService.store(0);
}

void COmbixLine::SetOutOfService(BOOL bReconnect) {
  m_dwReconnectPending.store(bReconnect ? 1 : 0);
  m_dwOutOfService.store(1);
}

void COmbixLine::RestartMonitor() {}
void COmbixLine::OnMonitorStartRsp(const COmbixMonitorRsp*) {}
void COmbixLine::OnHoldCallRsp(const COmbixRsp*) {}
void COmbixLine::OnGetCallForwardingRsp(const COmbixCallForwardingRsp*) {}
void COmbixLine::OnQueryPhoneConfigRsp(const COmbixPhoneConfigRsp*) {}
void COmbixLine::OnResponse(const COmbixRsp*) {}
void COmbixLine::OnCallConnectionEvent(const COmbixCallConnectionEvent*) {}
void COmbixLine::OnPhoneStateEvent(const COmbixPhoneStateEvent*) {}

LONG COmbixLine::GenericDialogData(TSPIDIALOGINSTANCE*, LPVOID lpParams, DWORD dwSize) {
  if (lpParams == nullptr || dwSize != sizeof(LINEINDEXQUERY)) return 0;
  LINEINDEXQUERY query;
  std::memcpy(&query, lpParams, sizeof(query));
  if (query.dwCode != OMBIX_LINEINDEX_QUERY) return 0;
  const LINEINDEXQUERY answer{OMBIX_LINEINDEX_ANSWER, GetLineIndex()};
  std::memcpy(lpParams, &answer, sizeof(answer));
  return 0;
}

CString COmbixLine::GetNumber() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_strNumber;
}

CString COmbixLine::GetPassword() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_strPassword;
}

CString COmbixLine::GetDeviceString() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_strDeviceString;
}
