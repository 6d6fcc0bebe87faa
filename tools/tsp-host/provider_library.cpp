// Loading a provider library and resolving its exports.
#include "tools/tsp-host/provider_library.h"

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace tsphost {
namespace {

// The service-provider interface as the telephony service knows it.
constexpr const char* kExportNames[] = {
    "TSPI_lineAddToConference",
    "TSPI_lineAnswer",
    "TSPI_lineBlindTransfer",
    "TSPI_lineClose",
    "TSPI_lineCloseCall",
    "TSPI_lineCompleteTransfer",
    "TSPI_lineConfigDialog",
    "TSPI_lineConfigDialogEdit",
    "TSPI_lineDial",
    "TSPI_lineDrop",
    "TSPI_lineForward",
    "TSPI_lineGatherDigits",
    "TSPI_lineGenerateDigits",
    "TSPI_lineGenerateTone",
    "TSPI_lineGetAddressCaps",
    "TSPI_lineGetAddressID",
    "TSPI_lineGetAddressStatus",
    "TSPI_lineGetCallAddressID",
    "TSPI_lineGetCallInfo",
    "TSPI_lineGetCallStatus",
    "TSPI_lineGetDevCaps",
    "TSPI_lineGetDevConfig",
    "TSPI_lineGetExtensionID",
    "TSPI_lineGetID",
    "TSPI_lineGetLineDevStatus",
    "TSPI_lineGetNumAddressIDs",
    "TSPI_lineHold",
    "TSPI_lineMakeCall",
    "TSPI_lineMonitorDigits",
    "TSPI_lineMonitorMedia",
    "TSPI_lineMonitorTones",
    "TSPI_lineNegotiateTSPIVersion",
    "TSPI_lineOpen",
    "TSPI_linePark",
    "TSPI_linePickup",
    "TSPI_lineRedirect",
    "TSPI_lineReleaseUserUserInfo",
    "TSPI_lineRemoveFromConference",
    "TSPI_lineSecureCall",
    "TSPI_lineSetAppSpecific",
    "TSPI_lineSetCurrentLocation",
    "TSPI_lineSetDefaultMediaDetection",
    "TSPI_lineSetDevConfig",
    "TSPI_lineSetMediaMode",
    "TSPI_lineSetStatusMessages",
    "TSPI_lineSetupTransfer",
    "TSPI_lineSwapHold",
    "TSPI_lineUncompleteCall",
    "TSPI_lineUnhold",
    "TSPI_lineUnpark",
    "TSPI_providerConfig",
    "TSPI_providerCreateLineDevice",
    "TSPI_providerCreatePhoneDevice",
    "TSPI_providerEnumDevices",
    "TSPI_providerGenericDialogData",
    "TSPI_providerInit",
    "TSPI_providerInstall",
    "TSPI_providerRemove",
    "TSPI_providerShutdown",
    "TSPI_providerUIIdentify",
    "TUISPI_lineConfigDialog",
    "TUISPI_lineConfigDialogEdit",
    "TUISPI_providerConfig",
    "TUISPI_providerGenericDialog",
    "TUISPI_providerInstall",
    "TUISPI_providerRemove",
};

template <typename Fn>
void Resolve(void* hLibrary, const char* pszName, Fn& fn) {
  fn = reinterpret_cast<Fn>(dlsym(hLibrary, pszName));
}

}  // namespace

bool ProviderLibrary::Load(const std::string& path, std::string& error) {
  Unload();
  // A path without a slash would be searched for; the host loads exactly the file named.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  m_hLibrary = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (m_hLibrary == nullptr) {
    const char* pszError = dlerror();
    error = pszError != nullptr ? pszError : "cannot be loaded";
    return false;
  }
  char szPath[PATH_MAX];
  m_path = realpath(file.c_str(), szPath) != nullptr ? szPath : file;
  for (const char* pszName : kExportNames) {
    (dlsym(m_hLibrary, pszName) != nullptr ? m_found : m_missing).push_back(pszName);
  }
  Resolve(m_hLibrary, "TSPI_lineNegotiateTSPIVersion", m_exports.lineNegotiateTSPIVersion);
  Resolve(m_hLibrary, "TSPI_lineGetDevCaps", m_exports.lineGetDevCaps);
  Resolve(m_hLibrary, "TSPI_lineGetAddressCaps", m_exports.lineGetAddressCaps);
  Resolve(m_hLibrary, "TSPI_lineOpen", m_exports.lineOpen);
  Resolve(m_hLibrary, "TSPI_lineClose", m_exports.lineClose);
  Resolve(m_hLibrary, "TSPI_lineGetID", m_exports.lineGetID);
  Resolve(m_hLibrary, "TSPI_lineGetLineDevStatus", m_exports.lineGetLineDevStatus);
  Resolve(m_hLibrary, "TSPI_lineSetStatusMessages", m_exports.lineSetStatusMessages);
  Resolve(m_hLibrary, "TSPI_providerEnumDevices", m_exports.providerEnumDevices);
  Resolve(m_hLibrary, "TSPI_providerInit", m_exports.providerInit);
  Resolve(m_hLibrary, "TSPI_providerShutdown", m_exports.providerShutdown);
  Resolve(m_hLibrary, "TSPI_providerGenericDialogData", m_exports.providerGenericDialogData);
  Resolve(m_hLibrary, "TUISPI_providerGenericDialog", m_exports.uiProviderGenericDialog);
  Resolve(m_hLibrary, "TUISPI_providerInstall", m_exports.uiProviderInstall);
  Resolve(m_hLibrary, "TUISPI_providerRemove", m_exports.uiProviderRemove);
  Resolve(m_hLibrary, "TSPI_lineMakeCall", m_exports.lineMakeCall);
  Resolve(m_hLibrary, "TSPI_lineAnswer", m_exports.lineAnswer);
  Resolve(m_hLibrary, "TSPI_lineDrop", m_exports.lineDrop);
  Resolve(m_hLibrary, "TSPI_lineCloseCall", m_exports.lineCloseCall);
  Resolve(m_hLibrary, "TSPI_lineHold", m_exports.lineHold);
  Resolve(m_hLibrary, "TSPI_lineUnhold", m_exports.lineUnhold);
  Resolve(m_hLibrary, "TSPI_lineSwapHold", m_exports.lineSwapHold);
  Resolve(m_hLibrary, "TSPI_lineBlindTransfer", m_exports.lineBlindTransfer);
  Resolve(m_hLibrary, "TSPI_lineSetupTransfer", m_exports.lineSetupTransfer);
  Resolve(m_hLibrary, "TSPI_lineCompleteTransfer", m_exports.lineCompleteTransfer);
  Resolve(m_hLibrary, "TSPI_lineAddToConference", m_exports.lineAddToConference);
  Resolve(m_hLibrary, "TSPI_lineRemoveFromConference", m_exports.lineRemoveFromConference);
  Resolve(m_hLibrary, "TSPI_linePark", m_exports.linePark);
  Resolve(m_hLibrary, "TSPI_lineUnpark", m_exports.lineUnpark);
  Resolve(m_hLibrary, "TSPI_linePickup", m_exports.linePickup);
  Resolve(m_hLibrary, "TSPI_lineRedirect", m_exports.lineRedirect);
  Resolve(m_hLibrary, "TSPI_lineForward", m_exports.lineForward);
  Resolve(m_hLibrary, "TSPI_lineDial", m_exports.lineDial);
  Resolve(m_hLibrary, "TSPI_lineGetCallInfo", m_exports.lineGetCallInfo);
  Resolve(m_hLibrary, "TSPI_lineGetCallStatus", m_exports.lineGetCallStatus);
  Resolve(m_hLibrary, "TSPI_lineGetAddressStatus", m_exports.lineGetAddressStatus);
  Resolve(m_hLibrary, "TUISPI_providerConfig", m_exports.uiProviderConfig);
  Resolve(m_hLibrary, "TUISPI_lineConfigDialog", m_exports.uiLineConfigDialog);
  return true;
}

bool ProviderLibrary::Has(const std::string& name) const {
  return std::find(m_found.begin(), m_found.end(), name) != m_found.end();
}

void ProviderLibrary::Unload() {
  if (m_hLibrary != nullptr) dlclose(m_hLibrary);
  m_hLibrary = nullptr;
  m_path.clear();
  m_exports = ProviderExports{};
  m_found.clear();
  m_missing.clear();
}

}  // namespace tsphost
