// CServiceProvider: construction, classes, exported-function flags, device look-ups and the
// generic provider operations.
#include "framework/service_provider.h"

#include <algorithm>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/conference_call.h"
#include "framework/device.h"
#include "framework/dial_info.h"
#include "framework/function_table.h"
#include "framework/line_connection.h"
#include "framework/phone_connection.h"
#include "framework/request.h"
#include "platform/win32.h"

CServiceProvider* GetSP() {
  return dynamic_cast<CServiceProvider*>(AfxGetModuleState()->m_pCurrentWinApp);
}

CServiceProvider::CServiceProvider(LPCSTR pszAppName, LPCSTR pszProviderName, DWORD dwTapiVersion)
    : CWinApp(pszAppName),
      m_pRequestClass(RUNTIME_CLASS(CTSPIRequest)),
      m_pLineClass(RUNTIME_CLASS(CTSPILineConnection)),
      m_pPhoneClass(RUNTIME_CLASS(CTSPIPhoneConnection)),
      m_pDeviceClass(RUNTIME_CLASS(CTSPIDevice)),
      m_pCallClass(RUNTIME_CLASS(CTSPICallAppearance)),
      m_pConferenceCallClass(RUNTIME_CLASS(CTSPIConferenceCall)),
      m_pAddressClass(RUNTIME_CLASS(CTSPIAddressInfo)),
      m_evtStopTimer(FALSE, TRUE),
      m_pszProviderName(pszProviderName),
      m_dwTapiVersion(std::max(dwTapiVersion, TAPIVER_20)) {}

CServiceProvider::~CServiceProvider() {
  // ExitInstance has shut the devices down; whatever is left must not outlive the provider.
  StopTimerThread();
  DeleteAllDevices();
}

void CServiceProvider::SetObjectClasses(CRuntimeClass* pDevice, CRuntimeClass* pRequest,
                                        CRuntimeClass* pLine, CRuntimeClass* pAddress,
                                        CRuntimeClass* pCall, CRuntimeClass* pConferenceCall,
                                        CRuntimeClass* pPhone) {
  if (pDevice != nullptr) m_pDeviceClass = pDevice;
  if (pRequest != nullptr) m_pRequestClass = pRequest;
  if (pLine != nullptr) m_pLineClass = pLine;
  if (pAddress != nullptr) m_pAddressClass = pAddress;
  if (pCall != nullptr) m_pCallClass = pCall;
  if (pConferenceCall != nullptr) m_pConferenceCallClass = pConferenceCall;
  if (pPhone != nullptr) m_pPhoneClass = pPhone;
}

void CServiceProvider::DetectExportedFunctions() {
  HMODULE hModule = AfxGetInstanceHandle();
  DetectExportedFunctions([hModule](LPCSTR pszName) { return GetProcAddress(hModule, pszName); });
}

void CServiceProvider::DetectExportedFunctions(const std::function<FARPROC(LPCSTR)>& lookup) {
  for (int i = 0; i < TSPI_FUNCTION_COUNT; ++i) {
    if (lookup(TSPIFunctionNameTable[i]) != nullptr) m_arrProviderCaps.SetAt(i, TRUE);
  }
}

BOOL CServiceProvider::IsFunctionExported(WORD wFunction) const {
  return wFunction < TSPI_FUNCTION_COUNT ? m_arrProviderCaps.GetAt(wFunction) : FALSE;
}

BOOL CServiceProvider::InitInstance() {
  DetectExportedFunctions();
  return TRUE;
}

int CServiceProvider::ExitInstance() {
  for (;;) {
    const INT_PTR nBefore = GetDeviceCount();
    if (nBefore == 0) break;
    CTSPIDevice* pDevice = GetDeviceByIndex(0);
    providerShutdown(m_dwTSPIVersion, pDevice);
    // An override that keeps the device must not hold the unload forever.
    if (GetDeviceCount() >= nBefore) CServiceProvider::providerShutdown(m_dwTSPIVersion, pDevice);
  }
  return 0;
}

// --- Device look-ups ---

INT_PTR CServiceProvider::GetDeviceCount() {
  CSingleLock lock(&m_csDevices, TRUE);
  return m_arrDevices.GetSize();
}

CTSPIDevice* CServiceProvider::GetDeviceByIndex(INT_PTR nIndex) {
  CSingleLock lock(&m_csDevices, TRUE);
  if (nIndex < 0 || nIndex >= m_arrDevices.GetSize()) return nullptr;
  return static_cast<CTSPIDevice*>(m_arrDevices[nIndex]);
}

CTSPIDevice* CServiceProvider::FindDeviceByProviderID(DWORD dwProviderID) {
  CSingleLock lock(&m_csDevices, TRUE);
  for (INT_PTR i = 0; i < m_arrDevices.GetSize(); ++i) {
    auto* pDevice = static_cast<CTSPIDevice*>(m_arrDevices[i]);
    if (pDevice->GetProviderID() == dwProviderID) return pDevice;
  }
  return nullptr;
}

CTSPIConnection* CServiceProvider::FindConnectionByDeviceID(DWORD dwDeviceID, WORD wType) {
  if (wType == 0) return FindLineByDeviceID(dwDeviceID);
  return FindPhoneByDeviceID(dwDeviceID);
}

CTSPILineConnection* CServiceProvider::FindLineByAddress(const void* pLine) {
  if (pLine == nullptr) return nullptr;
  // Under the device array's lock, so that no device is deleted while it is asked.
  CSingleLock lock(&m_csDevices, TRUE);
  for (INT_PTR i = 0; i < m_arrDevices.GetSize(); ++i) {
    auto* pDevice = static_cast<CTSPIDevice*>(m_arrDevices[i]);
    if (CTSPILineConnection* pFound = pDevice->FindLineByAddress(pLine)) return pFound;
  }
  return nullptr;
}

// Both under the device array's lock, so that no device is deleted while it is asked, and with
// the pointer typed there: a caller racing a shutdown may get a line that goes away at once, but
// the look-up itself never reads one that has gone.
CTSPILineConnection* CServiceProvider::FindLineByDeviceID(DWORD dwDeviceID) {
  CSingleLock lock(&m_csDevices, TRUE);
  for (INT_PTR i = 0; i < m_arrDevices.GetSize(); ++i) {
    auto* pDevice = static_cast<CTSPIDevice*>(m_arrDevices[i]);
    if (CTSPILineConnection* pLine = pDevice->FindLineByDeviceID(dwDeviceID)) return pLine;
  }
  return nullptr;
}

CTSPIPhoneConnection* CServiceProvider::FindPhoneByDeviceID(DWORD dwDeviceID) {
  CSingleLock lock(&m_csDevices, TRUE);
  for (INT_PTR i = 0; i < m_arrDevices.GetSize(); ++i) {
    auto* pDevice = static_cast<CTSPIDevice*>(m_arrDevices[i]);
    if (CTSPIPhoneConnection* pPhone = pDevice->FindPhoneByDeviceID(dwDeviceID)) return pPhone;
  }
  return nullptr;
}

// --- Own virtual operations ---

LONG CServiceProvider::ApplyCallParamDefaults(CTSPILineConnection* pLine,
                                              LPLINECALLPARAMS lpCallParams) {
  if (lpCallParams == nullptr) return LINEERR_INVALCALLPARAMS;
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  const LINEDEVCAPS caps = pLine->GetLineDevCaps();
  if (lpCallParams->dwBearerMode == 0) lpCallParams->dwBearerMode = LINEBEARERMODE_VOICE;
  if (lpCallParams->dwMaxRate == 0) lpCallParams->dwMaxRate = caps.dwMaxRate;
  if (lpCallParams->dwMediaMode == 0) lpCallParams->dwMediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
  if (lpCallParams->dwAddressMode == 0) lpCallParams->dwAddressMode = LINEADDRESSMODE_ADDRESSID;
  LINEDIALPARAMS& dial = lpCallParams->DialParams;
  if (dial.dwDialPause == 0) dial.dwDialPause = caps.DefaultDialParams.dwDialPause;
  if (dial.dwDialSpeed == 0) dial.dwDialSpeed = caps.DefaultDialParams.dwDialSpeed;
  if (dial.dwDigitDuration == 0) dial.dwDigitDuration = caps.DefaultDialParams.dwDigitDuration;
  if (dial.dwWaitForDialtone == 0) {
    dial.dwWaitForDialtone = caps.DefaultDialParams.dwWaitForDialtone;
  }
  return pLine->CheckCallParams(lpCallParams);
}

LONG CServiceProvider::ParseDialableAddressList(CTSPILineConnection* pLine, CTSPIAddressInfo* pAddr,
                                                LPCSTR pszAddress, CADObArray& arrEntries,
                                                DWORD /*dwCountryCode*/, LPCSTR pszValidChars) {
  std::optional<DWORD> devCapFlags;
  if (pLine != nullptr) devCapFlags = pLine->GetLineDevCaps().dwDevCapFlags;
  std::optional<DWORD> addrCapFlags;
  if (pAddr != nullptr) {
    addrCapFlags = pAddr->GetAddressCapsCopy().dwAddrCapFlags;
  }
  return ::ParseDialableAddressList(devCapFlags, addrCapFlags, pszAddress, arrEntries,
                                    pszValidChars);
}

CString CServiceProvider::FilterDialChars(LPCSTR pszNumber, LPCSTR pszExtraChars) {
  return ::FilterDialChars(pszNumber, pszExtraChars);
}

CString CServiceProvider::FormatTenDigitNumber(LPCSTR pszNumber) {
  return FormatTenDigits(FilterDialChars(pszNumber, nullptr));
}

BOOL CServiceProvider::OpenConnection(CTSPIConnection*) {
  return FALSE;
}

BOOL CServiceProvider::CloseConnection(CTSPIConnection*) {
  return 0;
}

BOOL CServiceProvider::SendConnectionData(CTSPIConnection*, LPCVOID, DWORD) {
  return 0;
}

void CServiceProvider::OnIntervalTimer(CTSPIConnection*) {}

BOOL CServiceProvider::MatchValueTriples(DWORD a, DWORD b, DWORD c, DWORD x, DWORD y, DWORD z) {
  auto inXYZ = [&](DWORD v) { return v == x || v == y || v == z; };
  return inXYZ(a) && inXYZ(b) && inXYZ(c) ? TRUE : FALSE;
}

void CServiceProvider::WriteDebugTrace(LPCSTR pszText) {
  OutputDebugStringA(pszText);
}

void CServiceProvider::StartNextRequest(CTSPIConnection* pConn) {
  if (pConn != nullptr) pConn->ProcessData(0, nullptr, 0);
}

void CServiceProvider::OnRequestCancelled(CTSPIRequest*) {}

BOOL CServiceProvider::AcceptNewRequest(CTSPIConnection*, CTSPIRequest*, int&) {
  return TRUE;
}

BOOL CServiceProvider::IsFunctionAllowed(CTSPILineConnection*, CTSPIAddressInfo*,
                                         CTSPICallAppearance* pCall, WORD wFunction) {
  // A pass-through call is the application's own: only its line status may be read.
  if (pCall != nullptr && wFunction != TSPI_LINEGETLINEDEVSTATUS) {
    const DWORD dwBearerMode = pCall->GetCallInfoCopy().dwBearerMode;
    if (dwBearerMode == LINEBEARERMODE_PASSTHROUGH) return FALSE;
  }
  return IsFunctionExported(wFunction);
}

BOOL CServiceProvider::ProcessData(CTSPIConnection*, DWORD, LPCVOID, DWORD) {
  return 0;
}

DWORD CServiceProvider::FilterCallFeatures(CTSPICallAppearance*, DWORD dwFeatures) {
  return dwFeatures;
}
