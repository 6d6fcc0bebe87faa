// TAPI32.DLL as this system needs it: lineGetProviderList, which the provider loads at run time
// to refuse a second installation of itself. It reads the telephony service's list of installed
// providers (tools/tapi32/provider_list.h).
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/tapi.h"
#include "tools/tapi32/provider_list.h"

#define TAPI32_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The lowest API version that has lineGetProviderList.
constexpr DWORD kLowestVersion = 0x00010004;

}  // namespace

// The list as LINEPROVIDERLIST: the fixed part, the entries, then the file names (8-bit, with
// their NUL). A structure too small for all of it gets the fixed part with dwNeededSize and no
// entries.
TAPI32_EXPORT LONG lineGetProviderList(DWORD dwAPIVersion, LPLINEPROVIDERLIST lpProviderList) {
  if (dwAPIVersion < kLowestVersion) return LINEERR_INCOMPATIBLEAPIVERSION;
  if (lpProviderList == nullptr) return LINEERR_INVALPOINTER;
  if (lpProviderList->dwTotalSize < sizeof(LINEPROVIDERLIST)) return LINEERR_STRUCTURETOOSMALL;

  std::vector<InstalledProvider> providers;
  if (ReadProviderList(&providers) != ERROR_SUCCESS) return LINEERR_OPERATIONFAILED;

  const uint64_t nEntriesSize = providers.size() * sizeof(LINEPROVIDERENTRY);
  uint64_t nNeeded = sizeof(LINEPROVIDERLIST) + nEntriesSize;
  for (const InstalledProvider& provider : providers) nNeeded += provider.strFileName.size() + 1;
  if (nNeeded > UINT32_MAX) return LINEERR_NOMEM;

  const DWORD dwTotalSize = lpProviderList->dwTotalSize;
  std::memset(lpProviderList, 0, sizeof(LINEPROVIDERLIST));
  lpProviderList->dwTotalSize = dwTotalSize;
  lpProviderList->dwNeededSize = static_cast<DWORD>(nNeeded);
  lpProviderList->dwUsedSize = sizeof(LINEPROVIDERLIST);
  if (nNeeded > dwTotalSize) return 0;

  auto* pBytes = reinterpret_cast<BYTE*>(lpProviderList);
  DWORD dwNameOffset = static_cast<DWORD>(sizeof(LINEPROVIDERLIST) + nEntriesSize);
  for (size_t i = 0; i < providers.size(); ++i) {
    const std::string& strName = providers[i].strFileName;
    LINEPROVIDERENTRY entry{};
    entry.dwPermanentProviderID = providers[i].dwProviderID;
    entry.dwProviderFilenameSize = static_cast<DWORD>(strName.size() + 1);
    entry.dwProviderFilenameOffset = dwNameOffset;
    std::memcpy(pBytes + sizeof(LINEPROVIDERLIST) + i * sizeof(entry), &entry, sizeof(entry));
    std::memcpy(pBytes + dwNameOffset, strName.c_str(), strName.size() + 1);
    dwNameOffset += entry.dwProviderFilenameSize;
  }
  lpProviderList->dwNumProviders = static_cast<DWORD>(providers.size());
  lpProviderList->dwProviderListSize = static_cast<DWORD>(nEntriesSize);
  lpProviderList->dwProviderListOffset = providers.empty() ? 0 : sizeof(LINEPROVIDERLIST);
  lpProviderList->dwUsedSize = static_cast<DWORD>(nNeeded);
  return 0;
}
