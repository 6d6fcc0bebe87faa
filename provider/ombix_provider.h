// COmbixProvider: the provider object of OMBIX.TSP, the framework's provider specialised for the
// switch.
//
// Contract:
// - Constructed once, as the module's global object; it names the provider and registers the
//   switch device, line and call classes. Nothing touches the registry, a thread or the network
//   before providerEnumDevices.
// - providerEnumDevices reports the configured "Lines" (at most kMaxLinesPerDevice) and no phones.
// - providerInit starts the device, then refuses with LINEERR_NODEVICE when neither server
//   address is set; a refused or failed start leaves no device and no thread of its own behind,
//   so TAPI may try the same provider ID again. A successful start rewrites the "Device%ld" key
//   with "Lines", "IP1", "IP2", "PingTimer" and each line's number and password as the file
//   holds them at its end (RewriteDeviceSettings); the running lines keep what they read. A
//   stored "Lines" that is no number leaves the key as it is (and the start has no lines).
// - providerInit reads every line's number and password in one pass before the device makes its
//   lines; each line takes its own pair at its set-up (TakeStartSettings) instead of reading it.
// - The server addresses are written by providerInit (a TAPI thread) and read by the device when
//   a line opens (another TAPI thread); both go through the provider's own lock.
// - The user-interface operations (ombix_provider_ui.cpp) run in the process that shows the
//   dialogs, on the caller's thread, and reach the provider side only through TAPI's UI callback.
//   lineConfigDialog edits nothing unless the provider side answered both the provider ID and
//   the line index.
#pragma once

#include <mutex>
#include <vector>

#include "framework/service_provider.h"
#include "platform/afx_string.h"
#include "provider/ombix_settings.h"

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
  LONG providerConfig(DWORD dwPermanentProviderID, HWND hwndOwner,
                      TUISPIDLLCALLBACK lpfnDLLCallback) override;
  // LINEERR_NOMULTIPLEINSTANCE when the module is among the installed providers already.
  LONG providerInstall(DWORD dwPermanentProviderID, HWND hwndOwner,
                       TUISPIDLLCALLBACK lpfnDLLCallback) override;
  // The error box for a stored line error: lpParams is the 4-byte switch result code.
  LONG providerGenericDialog(HTAPIDIALOGINSTANCE htDlgInst, LPVOID lpParams, DWORD dwSize,
                             HANDLE hEvent, TUISPIDLLCALLBACK lpfnDLLCallback) override;
  LONG lineConfigDialog(DWORD dwDeviceID, HWND hwndOwner, LPCSTR pszDeviceClass,
                        TUISPIDLLCALLBACK lpfnDLLCallback) override;
  // The out record gets one binary byte (0) when it has room for it, else only its sizes.
  LONG lineConfigDialogEdit(DWORD dwDeviceID, HWND hwndOwner, LPCSTR pszDeviceClass,
                            LPVOID const lpDeviceConfigIn, DWORD dwSize,
                            LPVARSTRING lpDeviceConfigOut,
                            TUISPIDLLCALLBACK lpfnDLLCallback) override;

  // UI side: asks the line with TAPI device ID dwDeviceID for its index (LINEINDEXQUERY).
  // Returns the callback's result, LINEERR_OPERATIONFAILED when it gave 0 without the answer;
  // *lpdwLineIndex is the answer, 0 when there is none.
  static LONG QueryLineIndexThroughUI(TUISPIDLLCALLBACK lpfnDLLCallback, DWORD dwDeviceID,
                                      LPDWORD lpdwLineIndex);

  // The number and password read for the line during the provider ID's providerInit, which
  // makes the lines, handed over once; FALSE (nothing changed) outside it or for an index it did
  // not read.
  BOOL TakeStartSettings(DWORD dwProviderID, DWORD dwLineIndex, CString& strNumber,
                         CString& strPassword);

 private:
  std::mutex m_mxStart;
  DWORD m_dwStartProviderID = 0;                      // under m_mxStart
  std::vector<OMBIXLINESETTINGS> m_arrStartSettings;  // under m_mxStart; only during providerInit

  mutable std::mutex m_mxServers;
  CString m_strIP1;  // under m_mxServers
  CString m_strIP2;  // under m_mxServers
};

// The module's provider object as a COmbixProvider; NULL when it is another kind.
COmbixProvider* GetOmbixSP();
