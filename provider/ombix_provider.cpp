#include "provider/ombix_provider.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "framework/device.h"
#include "provider/ombix_call.h"
#include "provider/ombix_device.h"
#include "provider/ombix_line.h"
#include "provider/ombix_settings.h"

COmbixProvider::COmbixProvider()
    : CServiceProvider("OMBIX.TSP", "VOIP Service Provider (Z9410)", 0x00020001) {
  SetObjectClasses(RUNTIME_CLASS(COmbixDevice), nullptr, RUNTIME_CLASS(COmbixLine), nullptr,
                   RUNTIME_CLASS(COmbixCall), RUNTIME_CLASS(COmbixConfCall), nullptr);
}

COmbixProvider::~COmbixProvider() = default;

COmbixProvider* GetOmbixSP() {
  return dynamic_cast<COmbixProvider*>(GetSP());
}

CString COmbixProvider::GetPrimaryServer() const {
  std::lock_guard<std::mutex> lock(m_mxServers);
  return m_strIP1;
}

CString COmbixProvider::GetSecondaryServer() const {
  std::lock_guard<std::mutex> lock(m_mxServers);
  return m_strIP2;
}

LONG COmbixProvider::providerEnumDevices(DWORD dwPermanentProviderID, LPDWORD lpdwNumLines,
                                         LPDWORD lpdwNumPhones, HPROVIDER hProvider,
                                         LINEEVENT lpfnLineCreateProc,
                                         PHONEEVENT lpfnPhoneCreateProc) {
  const LONG lResult =
      CServiceProvider::providerEnumDevices(dwPermanentProviderID, lpdwNumLines, lpdwNumPhones,
                                            hProvider, lpfnLineCreateProc, lpfnPhoneCreateProc);
  const DWORD dwLines = RegReadDword(dwPermanentProviderID, kSettingLines, 0);
  if (lpdwNumLines != nullptr) *lpdwNumLines = std::min(dwLines, kMaxLinesPerDevice);
  if (lpdwNumPhones != nullptr) *lpdwNumPhones = 0;
  return lResult;
}

LONG COmbixProvider::providerInit(DWORD dwTSPIVersion, DWORD dwPermanentProviderID,
                                  DWORD dwLineDeviceIDBase, DWORD dwPhoneDeviceIDBase,
                                  DWORD_PTR dwNumLines, DWORD_PTR dwNumPhones,
                                  ASYNC_COMPLETION lpfnCompletionProc, LPDWORD lpdwTSPIOptions) {
  const DWORD dwLines = static_cast<DWORD>(std::min<DWORD_PTR>(dwNumLines, kMaxLinesPerDevice));
  {
    // One pass over the registry for all lines, not one look at the file per value.
    std::vector<OMBIXLINESETTINGS> settings = LoadAllLineSettings(dwPermanentProviderID, dwLines);
    std::lock_guard<std::mutex> lock(m_mxStart);
    m_dwStartProviderID = dwPermanentProviderID;
    m_arrStartSettings = std::move(settings);
  }
  LONG lResult = 0;
  {
    // Given back however the start ends: a start that throws leaves no passwords behind for a
    // later one to take.
    struct ForgetStartSettings {
      COmbixProvider& provider;
      ~ForgetStartSettings() {
        std::lock_guard<std::mutex> lock(provider.m_mxStart);
        provider.m_arrStartSettings.clear();
        provider.m_arrStartSettings.shrink_to_fit();
      }
    } forget{*this};
    lResult = CServiceProvider::providerInit(dwTSPIVersion, dwPermanentProviderID,
                                             dwLineDeviceIDBase, dwPhoneDeviceIDBase, dwLines,
                                             dwNumPhones, lpfnCompletionProc, lpdwTSPIOptions);
  }
  if (lResult != 0) return lResult;

  const CString strIP1 = RegReadString(dwPermanentProviderID, kSettingIP1, "");
  const CString strIP2 = RegReadString(dwPermanentProviderID, kSettingIP2, "");
  {
    std::lock_guard<std::mutex> lock(m_mxServers);
    m_strIP1 = strIP1;
    m_strIP2 = strIP2;
  }
  if (strIP1.IsEmpty() && strIP2.IsEmpty()) {
    // A device without a switch is of no use, and left behind it would refuse TAPI's next try.
    providerShutdown(dwTSPIVersion, FindDeviceByProviderID(dwPermanentProviderID));
    return LINEERR_NODEVICE;
  }
  // From the file as it is now, not from what the lines read: a password saved while the
  // lines were made must not be put back. The lines keep theirs until they open.
  RewriteDeviceSettings(dwPermanentProviderID);
  return 0;
}

BOOL COmbixProvider::TakeStartSettings(DWORD dwProviderID, DWORD dwLineIndex, CString& strNumber,
                                       CString& strPassword) {
  std::lock_guard<std::mutex> lock(m_mxStart);
  if (dwProviderID != m_dwStartProviderID || dwLineIndex >= m_arrStartSettings.size()) {
    return FALSE;
  }
  // Each line takes its own pair once.
  strNumber = std::move(m_arrStartSettings[dwLineIndex].strNumber);
  strPassword = std::move(m_arrStartSettings[dwLineIndex].strPassword);
  return TRUE;
}
