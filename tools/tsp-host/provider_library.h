// A provider library loaded by path, with the exports tsp-host calls resolved by name. Only the
// published signatures (platform/tspi.h) are known here; nothing of the provider is linked in.
#pragma once

#include <string>
#include <vector>

#include "platform/tspi.h"

namespace tsphost {

struct ProviderExports {
  decltype(&TSPI_lineNegotiateTSPIVersion) lineNegotiateTSPIVersion = nullptr;
  decltype(&TSPI_lineGetDevCaps) lineGetDevCaps = nullptr;
  decltype(&TSPI_lineGetAddressCaps) lineGetAddressCaps = nullptr;
  decltype(&TSPI_lineOpen) lineOpen = nullptr;
  decltype(&TSPI_lineClose) lineClose = nullptr;
  decltype(&TSPI_lineGetID) lineGetID = nullptr;
  decltype(&TSPI_lineGetLineDevStatus) lineGetLineDevStatus = nullptr;
  decltype(&TSPI_lineSetStatusMessages) lineSetStatusMessages = nullptr;
  decltype(&TSPI_providerEnumDevices) providerEnumDevices = nullptr;
  decltype(&TSPI_providerInit) providerInit = nullptr;
  decltype(&TSPI_providerShutdown) providerShutdown = nullptr;
  decltype(&TSPI_providerGenericDialogData) providerGenericDialogData = nullptr;
  decltype(&TUISPI_providerGenericDialog) uiProviderGenericDialog = nullptr;
  decltype(&TUISPI_providerInstall) uiProviderInstall = nullptr;
  decltype(&TUISPI_providerRemove) uiProviderRemove = nullptr;
  // The call commands (commands_call.cpp).
  decltype(&TSPI_lineMakeCall) lineMakeCall = nullptr;
  decltype(&TSPI_lineAnswer) lineAnswer = nullptr;
  decltype(&TSPI_lineDrop) lineDrop = nullptr;
  decltype(&TSPI_lineCloseCall) lineCloseCall = nullptr;
  decltype(&TSPI_lineHold) lineHold = nullptr;
  decltype(&TSPI_lineUnhold) lineUnhold = nullptr;
  decltype(&TSPI_lineSwapHold) lineSwapHold = nullptr;
  decltype(&TSPI_lineBlindTransfer) lineBlindTransfer = nullptr;
  decltype(&TSPI_lineSetupTransfer) lineSetupTransfer = nullptr;
  decltype(&TSPI_lineCompleteTransfer) lineCompleteTransfer = nullptr;
  decltype(&TSPI_lineAddToConference) lineAddToConference = nullptr;
  decltype(&TSPI_lineRemoveFromConference) lineRemoveFromConference = nullptr;
  decltype(&TSPI_linePark) linePark = nullptr;
  decltype(&TSPI_lineUnpark) lineUnpark = nullptr;
  decltype(&TSPI_linePickup) linePickup = nullptr;
  decltype(&TSPI_lineRedirect) lineRedirect = nullptr;
  decltype(&TSPI_lineForward) lineForward = nullptr;
  decltype(&TSPI_lineDial) lineDial = nullptr;
  decltype(&TSPI_lineGetCallInfo) lineGetCallInfo = nullptr;
  decltype(&TSPI_lineGetCallStatus) lineGetCallStatus = nullptr;
  decltype(&TSPI_lineGetAddressStatus) lineGetAddressStatus = nullptr;
  decltype(&TUISPI_providerConfig) uiProviderConfig = nullptr;
  decltype(&TUISPI_lineConfigDialog) uiLineConfigDialog = nullptr;
};

class ProviderLibrary {
 public:
  ProviderLibrary() = default;
  ~ProviderLibrary() { Unload(); }
  ProviderLibrary(const ProviderLibrary&) = delete;
  ProviderLibrary& operator=(const ProviderLibrary&) = delete;

  // Loads the library (its start-up runs now); false with a reason when it cannot be loaded.
  bool Load(const std::string& path, std::string& error);
  // Unloads it (its shut-down runs now).
  void Unload();
  bool IsLoaded() const { return m_hLibrary != nullptr; }
  // The loaded file as an absolute path, links resolved (what the provider list records).
  const std::string& Path() const { return m_path; }

  const ProviderExports& Exports() const { return m_exports; }
  // Of the 66 TSPI_/TUISPI_ functions, those the library exports and those it lacks.
  const std::vector<std::string>& Found() const { return m_found; }
  const std::vector<std::string>& Missing() const { return m_missing; }
  bool Has(const std::string& name) const;

 private:
  void* m_hLibrary = nullptr;
  std::string m_path;
  ProviderExports m_exports;
  std::vector<std::string> m_found;
  std::vector<std::string> m_missing;
};

}  // namespace tsphost
