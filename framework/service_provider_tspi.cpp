// CServiceProvider: the TSPI provider operations (enumerate, init, shutdown, create device, UI
// identify, generic dialog data) and the TSPI version negotiation.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "framework/device.h"
#include "framework/line_connection.h"
#include "framework/phone_connection.h"
#include "framework/service_provider.h"
#include "platform/win32.h"

namespace {

// A connection's permanent ID keeps 15 bits of its index: more lines (or phones) than this on one
// device would share IDs.
constexpr DWORD_PTR kMaxConnectionsPerKind = 0x8000;

// TRUE when dwCount devices from dwBase get IDs of their own, none of them 0xFFFFFFFF
// (INITIALIZE_NEGOTIATION) and none wrapped round past it.
bool IsDeviceIDRangeUsable(DWORD dwBase, DWORD_PTR dwCount) {
  if (dwCount > kMaxConnectionsPerKind) return false;
  return dwCount == 0 || static_cast<uint64_t>(dwBase) + dwCount <= INITIALIZE_NEGOTIATION;
}

}  // namespace

LONG CServiceProvider::providerEnumDevices(DWORD, LPDWORD lpdwNumLines, LPDWORD lpdwNumPhones,
                                           HPROVIDER hProvider, LINEEVENT lpfnLineCreateProc,
                                           PHONEEVENT lpfnPhoneCreateProc) {
  m_hProvider = hProvider;
  m_lpfnLineCreateProc = lpfnLineCreateProc;
  m_lpfnPhoneCreateProc = lpfnPhoneCreateProc;
  if (lpdwNumLines != nullptr) *lpdwNumLines = 0;
  if (lpdwNumPhones != nullptr) *lpdwNumPhones = 0;
  return 0;
}

LONG CServiceProvider::providerCreateLineDevice(DWORD_PTR dwTempID, DWORD dwDeviceID) {
  CTSPILineConnection* pLine = FindLineByDeviceID(static_cast<DWORD>(dwTempID));
  if (pLine == nullptr) return LINEERR_BADDEVICEID;
  pLine->SetDeviceID(dwDeviceID);
  return 0;
}

LONG CServiceProvider::providerCreatePhoneDevice(DWORD_PTR dwTempID, DWORD dwDeviceID) {
  CTSPIPhoneConnection* pPhone = FindPhoneByDeviceID(static_cast<DWORD>(dwTempID));
  if (pPhone == nullptr) return PHONEERR_BADDEVICEID;
  pPhone->SetDeviceID(dwDeviceID);
  return 0;
}

LONG CServiceProvider::providerInit(DWORD dwTSPIVersion, DWORD dwPermanentProviderID,
                                    DWORD dwLineDeviceIDBase, DWORD dwPhoneDeviceIDBase,
                                    DWORD_PTR dwNumLines, DWORD_PTR dwNumPhones,
                                    ASYNC_COMPLETION lpfnCompletionProc, LPDWORD lpdwTSPIOptions) {
  CSingleLock lockLifecycle(&m_csLifecycle, TRUE);
  if (FindDeviceByProviderID(dwPermanentProviderID) != nullptr) return TSPIERR_DUPLICATEPROVIDER;
  if (!IsDeviceIDRangeUsable(dwLineDeviceIDBase, dwNumLines) ||
      !IsDeviceIDRangeUsable(dwPhoneDeviceIDBase, dwNumPhones)) {
    return LINEERR_OPERATIONFAILED;
  }
  if (lpdwTSPIOptions != nullptr) *lpdwTSPIOptions = 0;

  CObject* pObject = m_pDeviceClass != nullptr ? m_pDeviceClass->CreateObject() : nullptr;
  auto* pDevice = dynamic_cast<CTSPIDevice*>(pObject);
  if (pDevice == nullptr) {
    delete pObject;
    return LINEERR_NOMEM;
  }
  // Nothing of a failed start stays behind, so TAPI may try the same provider ID again.
  if (!pDevice->Init(dwPermanentProviderID, dwLineDeviceIDBase, dwPhoneDeviceIDBase,
                     static_cast<DWORD>(dwNumLines), static_cast<DWORD>(dwNumPhones), m_hProvider,
                     lpfnCompletionProc)) {
    delete pDevice;
    return LINEERR_NOMEM;
  }
  if (GetDeviceCount() == 0) {
    if (!StartTimerThread()) {
      delete pDevice;
      return LINEERR_OPERATIONFAILED;
    }
    m_dwTSPIVersion = dwTSPIVersion;
  }
  CSingleLock lockDevices(&m_csDevices, TRUE);
  m_arrDevices.Add(pDevice);
  return 0;
}

LONG CServiceProvider::providerShutdown(DWORD, CTSPIDevice* pDevice) {
  CSingleLock lockLifecycle(&m_csLifecycle, TRUE);
  BOOL bFound = FALSE;
  BOOL bLast = FALSE;
  {
    CSingleLock lockDevices(&m_csDevices, TRUE);
    for (INT_PTR i = 0; i < m_arrDevices.GetSize(); ++i) {
      if (m_arrDevices[i] == pDevice) {
        m_arrDevices.RemoveAt(i);
        bFound = TRUE;
        break;
      }
    }
    bLast = m_arrDevices.IsEmpty();
  }
  if (bLast) {
    StopTimerThread();
    CSingleLock lockCalls(&m_csTimedCalls, TRUE);
    m_arrTimedCalls.RemoveAll();
  }
  // A device that is not ours (or was shut down already) is not deleted a second time.
  if (bFound) delete pDevice;
  return 0;
}

void CServiceProvider::DeleteAllDevices() {
  std::vector<CTSPIDevice*> devices;
  {
    CSingleLock lockDevices(&m_csDevices, TRUE);
    for (INT_PTR i = 0; i < m_arrDevices.GetSize(); ++i) {
      devices.push_back(static_cast<CTSPIDevice*>(m_arrDevices[i]));
    }
    m_arrDevices.RemoveAll();
  }
  for (CTSPIDevice* pDevice : devices) delete pDevice;
}

LONG CServiceProvider::providerConfig(DWORD, HWND, TUISPIDLLCALLBACK) {
  return 0;
}

TSPIDIALOGINSTANCE* CServiceProvider::FindDialogInstance(HDRVDIALOGINSTANCE hdDlgInst) {
  if (hdDlgInst == nullptr) return nullptr;
  for (INT_PTR d = 0; CTSPIDevice* pDevice = GetDeviceByIndex(d); ++d) {
    for (INT_PTR l = 0; CTSPILineConnection* pLine = pDevice->GetLineByIndex(l); ++l) {
      if (TSPIDIALOGINSTANCE* pEntry = pLine->FindDialogInstance(hdDlgInst)) return pEntry;
    }
  }
  return nullptr;
}

LONG CServiceProvider::providerFreeDialogInstance(HDRVDIALOGINSTANCE hdDlgInst) {
  TSPIDIALOGINSTANCE* pEntry = FindDialogInstance(hdDlgInst);
  if (pEntry == nullptr || pEntry->pLine == nullptr) return LINEERR_INVALPARAM;
  return pEntry->pLine->FreeDialogInstance(pEntry->htDlgInst);
}

LONG CServiceProvider::ReservedProviderOperation() {
  return LINEERR_OPERATIONUNAVAIL;
}

LONG CServiceProvider::providerGenericDialogData(CTSPIDevice* pDevice, CTSPILineConnection* pLine,
                                                 CTSPIPhoneConnection* pPhone,
                                                 HDRVDIALOGINSTANCE hdDlgInst, LPVOID lpParams,
                                                 DWORD dwSize) {
  if (pPhone != nullptr) return pPhone->GenericDialogData(lpParams, dwSize);
  if (pLine != nullptr) return pLine->GenericDialogData(nullptr, lpParams, dwSize);
  if (pDevice != nullptr) return pDevice->GenericDialogData(lpParams, dwSize);
  // A dialog instance is found among the lines' own entries before it is read.
  TSPIDIALOGINSTANCE* pEntry = FindDialogInstance(hdDlgInst);
  if (pEntry == nullptr || pEntry->pLine == nullptr) return LINEERR_INVALPARAM;
  return pEntry->pLine->GenericDialogData(pEntry, lpParams, dwSize);
}

LONG CServiceProvider::providerUIIdentify(LPWSTR lpszUIDLLName) {
  if (lpszUIDLLName == nullptr) return LINEERR_INVALPOINTER;
  // The user-interface functions live in this same library, known by the application name.
  const int cchNeeded = MultiByteToWideChar(CP_ACP, 0, m_pszAppName, -1, nullptr, 0);
  std::vector<WCHAR> name(static_cast<size_t>(std::max(cchNeeded, 1)), 0);
  if (cchNeeded > 0) MultiByteToWideChar(CP_ACP, 0, m_pszAppName, -1, name.data(), cchNeeded);
  const size_t cchCopy = std::min(name.size(), static_cast<size_t>(MAX_PATH));
  std::copy_n(name.begin(), cchCopy, lpszUIDLLName);
  lpszUIDLLName[cchCopy - 1] = 0;
  return 0;
}

LONG CServiceProvider::providerGenericDialog(HTAPIDIALOGINSTANCE, LPVOID, DWORD, HANDLE,
                                             TUISPIDLLCALLBACK) {
  return LINEERR_OPERATIONUNAVAIL;
}

LONG CServiceProvider::lineNegotiateTSPIVersion(DWORD dwDeviceID, DWORD dwLowVersion,
                                                DWORD dwHighVersion, LPDWORD lpdwTSPIVersion) {
  if (IsBadWritePtr(lpdwTSPIVersion, sizeof(DWORD))) return LINEERR_INVALPARAM;
  if (dwDeviceID != INITIALIZE_NEGOTIATION && FindLineByDeviceID(dwDeviceID) == nullptr) {
    return LINEERR_BADDEVICEID;
  }
  const DWORD dwVersion = GetSupportedVersion();
  *lpdwTSPIVersion = dwVersion;
  if (dwLowVersion > dwVersion) return LINEERR_INCOMPATIBLEAPIVERSION;
  if (dwHighVersion >= dwVersion) return 0;
  if (dwHighVersion < TAPIVER_13) return LINEERR_INCOMPATIBLEAPIVERSION;
  *lpdwTSPIVersion = dwHighVersion;
  return 0;
}

LONG CServiceProvider::lineConfigDialog(DWORD, HWND, LPCSTR, TUISPIDLLCALLBACK) {
  return LINEERR_OPERATIONUNAVAIL;
}

LONG CServiceProvider::lineConfigDialogEdit(DWORD, HWND, LPCSTR, LPVOID const, DWORD, LPVARSTRING,
                                            TUISPIDLLCALLBACK) {
  return LINEERR_OPERATIONUNAVAIL;
}

LONG CServiceProvider::phoneConfigDialog(DWORD, HWND, LPCSTR, TUISPIDLLCALLBACK) {
  return PHONEERR_OPERATIONUNAVAIL;
}
