// CServiceProvider: the registry profile (the provider's key below the telephony key and its
// "Device%ld" subkeys), installation and removal, and the look-up of installed providers that
// refuses a second installation.
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "framework/service_provider.h"
#include "platform/registry.h"
#include "platform/win32.h"

namespace {

constexpr char kTelephonyKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony";
constexpr REGSAM kDeleteAccess = 0x00010000;  // DELETE
// RegReadString's buffer: longer values give the default.
constexpr DWORD kStringValueMax = 512;
// Name buffer of DeleteRegKeyRecursive.
constexpr DWORD kKeyNameMax = 1024;
// First guess at the size of the installed-provider list.
constexpr DWORD kProviderListFirstSize = 240;
constexpr DWORD kProviderListVersion = 0x00020000;

// Closes a key handle when it goes out of scope.
class CRegKey {
 public:
  CRegKey() = default;
  ~CRegKey() {
    if (m_hKey != nullptr) RegCloseKey(m_hKey);
  }
  CRegKey(const CRegKey&) = delete;
  CRegKey& operator=(const CRegKey&) = delete;
  HKEY* Out() { return &m_hKey; }
  operator HKEY() const { return m_hKey; }  // NOLINT: passed where the platform takes an HKEY

 private:
  HKEY m_hKey = nullptr;
};

CString DeviceKeyName(DWORD dwProviderID) {
  char szName[32];
  wsprintfA(szName, "Device%ld", dwProviderID);
  return szName;
}

LONG OpenKey(HKEY hParent, LPCSTR pszName, HKEY* phKey) {
  return RegOpenKeyExA(hParent, pszName, 0, KEY_ALL_ACCESS, phKey);
}

LONG CreateKey(HKEY hParent, LPCSTR pszName, HKEY* phKey) {
  char szClass[] = "";
  return RegCreateKeyExA(hParent, pszName, 0, szClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                         nullptr, phKey, nullptr);
}

// Opens (or, with bCreate, creates) the telephony key, the provider key and, for a non-zero ID,
// the device key; *phKey is the last of them.
LONG OpenProfileKey(LPCSTR pszProviderName, DWORD dwProviderID, BOOL bCreate, HKEY* phKey) {
  auto step = bCreate ? CreateKey : OpenKey;
  CRegKey hTelephony;
  LONG lResult = step(HKEY_LOCAL_MACHINE, kTelephonyKey, hTelephony.Out());
  if (lResult != ERROR_SUCCESS) return lResult;
  if (dwProviderID == 0) return step(hTelephony, pszProviderName, phKey);
  CRegKey hProvider;
  lResult = step(hTelephony, pszProviderName, hProvider.Out());
  if (lResult != ERROR_SUCCESS) return lResult;
  return step(hProvider, DeviceKeyName(dwProviderID), phKey);
}

// The provider list's entries, checked against the part of the structure that was filled.
LONG SearchProviderList(const LINEPROVIDERLIST* pList, LPCSTR pszFileName, LPDWORD lpdwProviderID) {
  const auto* pBytes = reinterpret_cast<const BYTE*>(pList);
  const uint64_t nFilled =
      pList->dwUsedSize < pList->dwTotalSize ? pList->dwUsedSize : pList->dwTotalSize;
  const auto IsInside = [nFilled](uint64_t nOffset, uint64_t nSize) {
    return nOffset <= nFilled && nSize <= nFilled - nOffset;
  };
  const uint64_t nEntries = static_cast<uint64_t>(pList->dwNumProviders);
  if (nEntries == 0) return 0;
  if (!IsInside(pList->dwProviderListOffset, nEntries * sizeof(LINEPROVIDERENTRY))) {
    return LINEERR_OPERATIONFAILED;
  }
  for (uint64_t i = 0; i < nEntries; ++i) {
    LINEPROVIDERENTRY entry;
    std::memcpy(&entry, pBytes + pList->dwProviderListOffset + i * sizeof(entry), sizeof(entry));
    if (entry.dwProviderFilenameSize == 0 ||
        !IsInside(entry.dwProviderFilenameOffset, entry.dwProviderFilenameSize)) {
      continue;
    }
    CString strName(reinterpret_cast<LPCSTR>(pBytes + entry.dwProviderFilenameOffset),
                    static_cast<int>(entry.dwProviderFilenameSize));
    strName = CString(strName.GetString());  // up to its NUL
    const int nSlash = strName.ReverseFind('\\');
    if (nSlash >= 0) strName = strName.Mid(nSlash + 1);
    if (lstrcmpiA(strName, pszFileName) == 0) {
      if (lpdwProviderID != nullptr) *lpdwProviderID = entry.dwPermanentProviderID;
      return LINEERR_NOMULTIPLEINSTANCE;
    }
  }
  return 0;
}

// Fetches the list, a second time with the size TAPI asked for when the first buffer was short.
LONG FetchProviderList(LINEGETPROVIDERLIST lpfnGetProviderList, LPLINEPROVIDERLIST* ppList) {
  DWORD dwSize = kProviderListFirstSize;
  for (int nTry = 0; nTry < 2; ++nTry) {
    auto* pList = static_cast<LPLINEPROVIDERLIST>(CServiceProvider::AllocBuffer(dwSize));
    if (pList == nullptr) return LINEERR_NOMEM;
    std::memset(pList, 0, dwSize);
    pList->dwTotalSize = dwSize;
    if (lpfnGetProviderList(kProviderListVersion, pList) != 0) {
      CServiceProvider::FreeBuffer(pList);
      return LINEERR_OPERATIONFAILED;
    }
    if (pList->dwNeededSize <= pList->dwTotalSize) {
      *ppList = pList;
      return 0;
    }
    dwSize = pList->dwNeededSize;
    CServiceProvider::FreeBuffer(pList);
  }
  // Still too small: the list grew in between. A partial search could miss the provider.
  return LINEERR_OPERATIONFAILED;
}

}  // namespace

BOOL CServiceProvider::DwordOfValue(const REGRAWVALUE& value, DWORD& dwValue) {
  if ((value.dwType != REG_DWORD && value.dwType != REG_BINARY) ||
      value.abData.size() != sizeof(DWORD)) {
    return FALSE;
  }
  std::memcpy(&dwValue, value.abData.data(), sizeof(DWORD));
  return TRUE;
}

DWORD CServiceProvider::RegReadDword(DWORD dwProviderID, LPCSTR pszValueName, DWORD dwDefault) {
  CRegKey hKey;
  if (OpenProfileKey(m_pszProviderName, dwProviderID, FALSE, hKey.Out()) != ERROR_SUCCESS) {
    return dwDefault;
  }
  REGRAWVALUE value;
  value.abData.resize(sizeof(DWORD));
  DWORD cbValue = sizeof(DWORD);
  if (RegQueryValueExA(hKey, pszValueName, nullptr, &value.dwType, value.abData.data(), &cbValue) !=
      ERROR_SUCCESS) {
    return dwDefault;  // missing, or longer than a DWORD
  }
  value.abData.resize(cbValue);
  DWORD dwValue = dwDefault;
  return DwordOfValue(value, dwValue) ? dwValue : dwDefault;
}

namespace {

// A value of the open key with its type and bytes, whatever their size.
LONG ReadRawValue(HKEY hKey, LPCSTR pszValueName, CServiceProvider::REGRAWVALUE& value) {
  BYTE abFirst[kStringValueMax];  // most values fit: one look at the key
  DWORD cbValue = sizeof(abFirst);
  LONG lResult = RegQueryValueExA(hKey, pszValueName, nullptr, &value.dwType, abFirst, &cbValue);
  if (lResult == ERROR_SUCCESS) {
    value.abData.assign(abFirst, abFirst + cbValue);
    return ERROR_SUCCESS;
  }
  // Larger: read again with the size it told, which another thread may change in between.
  for (int nTry = 0; nTry < 3 && lResult == ERROR_MORE_DATA; ++nTry) {
    value.abData.resize(cbValue);
    lResult =
        RegQueryValueExA(hKey, pszValueName, nullptr, &value.dwType, value.abData.data(), &cbValue);
    if (lResult == ERROR_SUCCESS) value.abData.resize(cbValue);
  }
  return lResult;
}

}  // namespace

BOOL CServiceProvider::RegReadRawValues(DWORD dwProviderID, const std::vector<CString>& names,
                                        std::vector<std::optional<REGRAWVALUE>>& values) {
  values.assign(names.size(), std::nullopt);
  CRegKey hKey;
  const LONG lOpened = OpenProfileKey(m_pszProviderName, dwProviderID, FALSE, hKey.Out());
  if (lOpened == ERROR_FILE_NOT_FOUND) return TRUE;
  if (lOpened != ERROR_SUCCESS) return FALSE;
  for (size_t i = 0; i < names.size(); ++i) {
    REGRAWVALUE value;
    const LONG lResult = ReadRawValue(hKey, names[i], value);
    if (lResult == ERROR_FILE_NOT_FOUND) continue;
    if (lResult != ERROR_SUCCESS) return FALSE;
    values[i] = std::move(value);
  }
  return TRUE;
}

namespace {

// A string value of the open key as RegReadString gives it: up to its first NUL, the default
// when it is missing or longer than the read buffer.
CString ReadStringValue(HKEY hKey, LPCSTR pszValueName, const CString& strDefault) {
  char szValue[kStringValueMax];
  DWORD dwType = 0;
  DWORD cbValue = sizeof(szValue);
  if (RegQueryValueExA(hKey, pszValueName, nullptr, &dwType, reinterpret_cast<LPBYTE>(szValue),
                       &cbValue) != ERROR_SUCCESS ||
      cbValue > sizeof(szValue)) {
    return strDefault;
  }
  const void* pNul = std::memchr(szValue, 0, cbValue);
  const int cch = pNul != nullptr ? static_cast<int>(static_cast<const char*>(pNul) - szValue)
                                  : static_cast<int>(cbValue);
  return CString(szValue, cch);
}

// A REG_SZ value, written with its NUL (NULL: empty text).
LONG SetStringValue(HKEY hKey, LPCSTR pszValueName, LPCSTR pszValue) {
  const char* pszText = pszValue != nullptr ? pszValue : "";
  return RegSetValueExA(hKey, pszValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszText),
                        static_cast<DWORD>(std::strlen(pszText) + 1));
}

LONG SetDwordValue(HKEY hKey, LPCSTR pszValueName, DWORD dwValue) {
  return RegSetValueExA(hKey, pszValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                        sizeof(dwValue));
}

}  // namespace

CString CServiceProvider::RegReadString(DWORD dwProviderID, LPCSTR pszValueName,
                                        LPCSTR pszDefault) {
  const CString strDefault(pszDefault != nullptr ? pszDefault : "");
  CRegKey hKey;
  if (OpenProfileKey(m_pszProviderName, dwProviderID, FALSE, hKey.Out()) != ERROR_SUCCESS) {
    return strDefault;
  }
  return ReadStringValue(hKey, pszValueName, strDefault);
}

std::vector<CString> CServiceProvider::RegReadStrings(DWORD dwProviderID,
                                                      const std::vector<CString>& names,
                                                      LPCSTR pszDefault) {
  const CString strDefault(pszDefault != nullptr ? pszDefault : "");
  std::vector<CString> values(names.size(), strDefault);
  // One key for all values; the registry keeps the parsed file, so each read costs a look at the
  // file's identity, not a parse.
  CRegKey hKey;
  if (OpenProfileKey(m_pszProviderName, dwProviderID, FALSE, hKey.Out()) == ERROR_SUCCESS) {
    for (size_t i = 0; i < names.size(); ++i) {
      values[i] = ReadStringValue(hKey, names[i], strDefault);
    }
  }
  return values;
}

BOOL CServiceProvider::RegWriteString(DWORD dwProviderID, LPCSTR pszValueName, LPCSTR pszValue) {
  CRegKey hKey;
  if (OpenProfileKey(m_pszProviderName, dwProviderID, TRUE, hKey.Out()) != ERROR_SUCCESS)
    return FALSE;
  return SetStringValue(hKey, pszValueName, pszValue) == ERROR_SUCCESS;
}

BOOL CServiceProvider::RegWriteDword(DWORD dwProviderID, LPCSTR pszValueName, DWORD dwValue) {
  CRegKey hKey;
  if (OpenProfileKey(m_pszProviderName, dwProviderID, TRUE, hKey.Out()) != ERROR_SUCCESS)
    return FALSE;
  return SetDwordValue(hKey, pszValueName, dwValue) == ERROR_SUCCESS;
}

BOOL CServiceProvider::RegDeleteDeviceKey(DWORD dwProviderID) {
  // ID 0 names the provider key itself, which holds every instance's settings.
  if (dwProviderID == 0) return FALSE;
  CRegKey hTelephony;
  if (OpenKey(HKEY_LOCAL_MACHINE, kTelephonyKey, hTelephony.Out()) != ERROR_SUCCESS) return FALSE;
  CRegKey hProvider;
  if (OpenKey(hTelephony, m_pszProviderName, hProvider.Out()) != ERROR_SUCCESS) return FALSE;
  return DeleteRegKeyRecursive(hProvider, DeviceKeyName(dwProviderID));
}

BOOL CServiceProvider::RegReplaceDeviceKey(DWORD dwProviderID,
                                           const std::vector<REGPROFILEVALUE>& values) {
  if (dwProviderID == 0) return FALSE;
  return WriteProfileValues(dwProviderID, values, TRUE);
}

BOOL CServiceProvider::RegWriteValues(DWORD dwProviderID,
                                      const std::vector<REGPROFILEVALUE>& values) {
  return WriteProfileValues(dwProviderID, values, FALSE);
}

BOOL CServiceProvider::WriteProfileValues(DWORD dwProviderID,
                                          const std::vector<REGPROFILEVALUE>& values,
                                          BOOL bReplaceKey) {
  // Without a batch (the file cannot be locked) each change goes to the file on its own, and
  // fails there as it would.
  COmbixRegBatch batch;
  BOOL bResult = WriteValuesInBatch(dwProviderID, values, bReplaceKey);
  if (batch.Commit() != ERROR_SUCCESS) bResult = FALSE;
  return bResult;
}

BOOL CServiceProvider::WriteValuesInBatch(DWORD dwProviderID,
                                          const std::vector<REGPROFILEVALUE>& values,
                                          BOOL bReplaceKey) {
  if (bReplaceKey) RegDeleteDeviceKey(dwProviderID);
  // One key for all values: creating the three keys for each value again would only find them.
  CRegKey hKey;
  if (OpenProfileKey(m_pszProviderName, dwProviderID, TRUE, hKey.Out()) != ERROR_SUCCESS) {
    return FALSE;
  }
  BOOL bResult = TRUE;
  for (const REGPROFILEVALUE& value : values) {
    LONG lResult = ERROR_SUCCESS;
    if (value.raw.has_value()) {
      lResult = RegSetValueExA(hKey, value.strName, 0, value.raw->dwType, value.raw->abData.data(),
                               static_cast<DWORD>(value.raw->abData.size()));
    } else if (value.dwType == REG_DWORD) {
      lResult = SetDwordValue(hKey, value.strName, value.dwValue);
    } else {
      lResult = SetStringValue(hKey, value.strName, value.strText);
    }
    // Like a run of single writes, a failed value does not stop the ones after it.
    if (lResult != ERROR_SUCCESS) bResult = FALSE;
  }
  return bResult;
}

BOOL CServiceProvider::DeleteRegKeyRecursive(HKEY hKeyParent, LPCSTR pszKeyName) {
  if (pszKeyName == nullptr || pszKeyName[0] == 0) return FALSE;  // would name the parent itself
  LONG lResult = RegDeleteKeyA(hKeyParent, pszKeyName);
  if (lResult == ERROR_SUCCESS || lResult == ERROR_FILE_NOT_FOUND) return TRUE;

  CRegKey hKey;
  lResult =
      RegOpenKeyExA(hKeyParent, pszKeyName, 0, KEY_ENUMERATE_SUB_KEYS | kDeleteAccess, hKey.Out());
  if (lResult == ERROR_FILE_NOT_FOUND) return TRUE;
  if (lResult != ERROR_SUCCESS) return FALSE;
  auto* pszSubKey = static_cast<LPSTR>(AllocBuffer(kKeyNameMax + 1));
  if (pszSubKey == nullptr) return FALSE;

  // Always subkey 0: each one found is gone before the next look. A subkey that stays would be
  // found again forever, so the first failure ends the walk.
  BOOL bResult = TRUE;
  for (;;) {
    DWORD cchName = kKeyNameMax;
    lResult = RegEnumKeyExA(hKey, 0, pszSubKey, &cchName, nullptr, nullptr, nullptr, nullptr);
    if (lResult == ERROR_NO_MORE_ITEMS) break;
    if (lResult != ERROR_SUCCESS || !DeleteRegKeyRecursive(hKey, pszSubKey)) {
      bResult = FALSE;
      break;
    }
  }
  FreeBuffer(pszSubKey);
  if (!bResult) return FALSE;
  lResult = RegDeleteKeyA(hKeyParent, pszKeyName);
  return lResult == ERROR_SUCCESS || lResult == ERROR_FILE_NOT_FOUND;
}

LONG CServiceProvider::providerInstall(DWORD dwPermanentProviderID, HWND, TUISPIDLLCALLBACK) {
  LONG lResult = ERROR_SUCCESS;
  {
    CRegKey hTelephony;
    if (OpenKey(HKEY_LOCAL_MACHINE, kTelephonyKey, hTelephony.Out()) != ERROR_SUCCESS) {
      return LINEERR_OPERATIONFAILED;
    }
    lResult = RegSetValueExA(hTelephony, DeviceKeyName(dwPermanentProviderID), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(m_pszProviderName),
                             static_cast<DWORD>(std::strlen(m_pszProviderName) + 1));
  }
  if (lResult != ERROR_SUCCESS) return LINEERR_OPERATIONFAILED;
  if (!RegWriteDword(0, "UsesTSPLib", 1)) return LINEERR_OPERATIONFAILED;
  return 0;
}

LONG CServiceProvider::providerRemove(DWORD dwPermanentProviderID, HWND, TUISPIDLLCALLBACK) {
  CRegKey hTelephony;
  if (OpenKey(HKEY_LOCAL_MACHINE, kTelephonyKey, hTelephony.Out()) != ERROR_SUCCESS) {
    return LINEERR_OPERATIONFAILED;
  }
  const LONG lResult = RegDeleteValueA(hTelephony, DeviceKeyName(dwPermanentProviderID));
  BOOL bRemoved = lResult == ERROR_SUCCESS || lResult == ERROR_FILE_NOT_FOUND;
  if (!DeleteRegKeyRecursive(hTelephony, m_pszProviderName)) bRemoved = FALSE;
  return bRemoved ? 0 : LINEERR_OPERATIONFAILED;
}

LONG CServiceProvider::FindInstalledProvider(LPCSTR pszFileName, LPDWORD lpdwProviderID) {
  HMODULE hTapi = LoadLibraryA("TAPI32.DLL");
  if (hTapi == nullptr) return LINEERR_OPERATIONFAILED;
  auto lpfnGetProviderList =
      reinterpret_cast<LINEGETPROVIDERLIST>(GetProcAddress(hTapi, "lineGetProviderList"));
  const LONG lResult = lpfnGetProviderList != nullptr
                           ? FindInstalledProvider(pszFileName, lpdwProviderID, lpfnGetProviderList)
                           : LINEERR_OPERATIONFAILED;
  FreeLibrary(hTapi);
  return lResult;
}

LONG CServiceProvider::FindInstalledProvider(LPCSTR pszFileName, LPDWORD lpdwProviderID,
                                             LINEGETPROVIDERLIST lpfnGetProviderList) {
  if (pszFileName == nullptr || lpfnGetProviderList == nullptr) return LINEERR_OPERATIONFAILED;
  LPLINEPROVIDERLIST pList = nullptr;
  LONG lResult = FetchProviderList(lpfnGetProviderList, &pList);
  if (lResult != 0) return lResult;
  lResult = SearchProviderList(pList, pszFileName, lpdwProviderID);
  FreeBuffer(pList);
  return lResult;
}
