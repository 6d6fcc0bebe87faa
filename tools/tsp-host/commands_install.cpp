// tsp-host's install and remove: the telephony service's side of adding a provider to, and
// taking it off, the installed-provider list in the registry.
#include <algorithm>

#include "platform/tapi.h"
#include "tools/tapi32/provider_list.h"
#include "tools/tsp-host/callbacks.h"
#include "tools/tsp-host/commands.h"
#include "tools/tsp-host/names.h"
#include "tools/tsp-host/output.h"
#include "tools/tsp-host/var_struct_text.h"

namespace tsphost {
namespace {

// Only the file's name is printed, so that a transcript does not depend on where it was built.
std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RegistryError(LONG lResult) {
  return "registry error " + std::to_string(lResult);
}

}  // namespace

CommandStatus HostSession::Install(const Args&) {
  DWORD dwProviderID = 0;
  LONG lListResult = PrepareProviderList(&dwProviderID);
  if (lListResult != ERROR_SUCCESS) {
    PrintLine("install: the provider list cannot be prepared: " + RegistryError(lListResult));
    return CommandStatus::kDone;
  }
  // The provider looks for itself in the list while it installs, so it is added only after.
  const LONG lResult =
      m_library.Exports().uiProviderInstall(&TapiSide::UICallback, nullptr, dwProviderID);
  FlushQueuedLines();
  const std::string name = BaseName(m_library.Path());
  PrintLine("providerInstall(" + Dec(dwProviderID) + ", " + name + ") = " + FormatResult(lResult));
  if (lResult != 0) {
    PrintLine("  the provider list is unchanged");
    return CommandStatus::kDone;
  }
  lListResult = AddProviderToList(dwProviderID, m_library.Path().c_str());
  if (lListResult != ERROR_SUCCESS) {
    // An installed provider that the list does not name would never be started or removed.
    PrintLine("  the provider cannot be added to the list: " + RegistryError(lListResult));
    const LONG lUndo =
        m_library.Has("TUISPI_providerRemove")
            ? m_library.Exports().uiProviderRemove(&TapiSide::UICallback, nullptr, dwProviderID)
            : LINEERR_OPERATIONUNAVAIL;
    FlushQueuedLines();
    PrintLine("  taken back: providerRemove(" + Dec(dwProviderID) + ") = " + FormatResult(lUndo));
    return CommandStatus::kDone;
  }
  PrintLine("  provider " + Dec(dwProviderID) + " added to the list");
  m_dwProviderID = dwProviderID;
  return CommandStatus::kDone;
}

CommandStatus HostSession::Remove(const Args& args) {
  const DWORD dwProviderID = args.numbers[0];
  std::vector<InstalledProvider> providers;
  LONG lListResult = ReadProviderList(&providers);
  if (lListResult != ERROR_SUCCESS) {
    PrintLine("remove: the provider list cannot be read: " + RegistryError(lListResult));
    return CommandStatus::kDone;
  }
  const auto entry = std::find_if(
      providers.begin(), providers.end(),
      [&](const InstalledProvider& provider) { return provider.dwProviderID == dwProviderID; });
  if (entry == providers.end()) {
    PrintLine("remove: provider " + Dec(dwProviderID) +
              " is not in the provider list; no provider is called");
    return CommandStatus::kDone;
  }

  // The service removes the provider that the list names, which it loads by the listed file
  // name; the list writes the platform's separators as backslashes.
  std::string path = entry->strFileName;
  std::replace(path.begin(), path.end(), '\\', '/');
  ProviderLibrary listed;
  std::string error;
  if (!listed.Load(path, error)) {
    PrintLine("remove: cannot load " + path + ": " + error + "; the list is unchanged");
    return CommandStatus::kDone;
  }
  if (listed.Exports().uiProviderRemove == nullptr) {
    PrintLine("remove: " + BaseName(path) + " has no TUISPI_providerRemove; the list is unchanged");
    return CommandStatus::kDone;
  }
  const LONG lResult =
      listed.Exports().uiProviderRemove(&TapiSide::UICallback, nullptr, dwProviderID);
  FlushQueuedLines();
  PrintLine("providerRemove(" + Dec(dwProviderID) + ", " + BaseName(path) +
            ") = " + FormatResult(lResult));
  if (lResult != 0) {
    PrintLine("  the provider list is unchanged");
    return CommandStatus::kDone;
  }
  lListResult = RemoveProviderFromList(dwProviderID);
  PrintLine(lListResult == ERROR_SUCCESS
                ? "  provider " + Dec(dwProviderID) + " taken off the list"
                : "  the provider cannot be taken off the list: " + RegistryError(lListResult));
  return CommandStatus::kDone;
}

}  // namespace tsphost
