// COmbixProvider: the provider object of OMBIX.TSP, the framework's provider specialised for the
// switch.
//
// Contract:
// - Constructed once, as the module's global object; it names the provider and registers the
//   switch device, line and call classes. Nothing touches the registry, a thread or the network before
//   providerEnumDevices.
// - providerEnumDevices reports the configured "Lines" (at most kMaxLinesPerDevice) and no phones.
// - providerInit starts the device, then refuses with LINEERR_NODEVICE when neither server
//   address is set; a refused or failed start leaves no device and no thread of its own behind,
//   so TAPI may try the same provider ID again. A successful start rewrites the "Device%ld" key
//   from what the provider holds: "Lines", "IP1", "IP2" and each line's number and password.
// - The server addresses are written by providerInit (a TAPI thread) and read by the device when
//   a line opens (another TAPI thread); both go through the provider's own lock.
#pragma once

#include <mutex>

#include "framework/service_provider.h"
#include "platform/afx_string.h"

class COmbixProvider : public CServiceProvider {
 public:
  COmbixProvider();
  ~COmbixProvider() override;

  // The server addresses read by the last providerInit, dotted IPv4 text; empty when unset.
  CString GetPrimaryServer() const;
  CString GetSecondaryServer() const;

  LONG providerEnumDevices(DWORD dwPermanentProviderID, LPDWORD lpdwNumLines, LPDWORD lpdwNumPhones,
                           HPROVIDER hProvider, LINEEVENT lpfnLineCreateProc,
                           PHONEEVENT lpfnPhoneCreateProc) override;
  LONG providerInit(DWORD dwTSPIVersion, DWORD dwPermanentProviderID, DWORD dwLineDeviceIDBase,
                    DWORD dwPhoneDeviceIDBase, DWORD_PTR dwNumLines, DWORD_PTR dwNumPhones,
                    ASYNC_COMPLETION lpfnCompletionProc, LPDWORD lpdwTSPIOptions) override;

 private:
  void RewriteSettings(DWORD dwProviderID, DWORD dwNumLines);

  mutable std::mutex m_mxServers;
  CString m_strIP1;  // under m_mxServers
  CString m_strIP2;  // under m_mxServers
};

// The module's provider object as a COmbixProvider; NULL when it is another kind.
COmbixProvider* GetOmbixSP();
