#include "tools/tapi32/provider_list.h"

#include <algorithm>
#include <cstdio>

#include "platform/registry.h"

namespace {

// Closes a key handle when it goes out of scope.
class KeyHandle {
 public:
  KeyHandle() = default;
  ~KeyHandle() {
    if (m_hKey != nullptr) RegCloseKey(m_hKey);
  }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  HKEY* Out() { return &m_hKey; }
  HKEY Get() const { return m_hKey; }

 private:
  HKEY m_hKey = nullptr;
};

std::string IndexedName(const char* pszStem, size_t nIndex) {
  return pszStem + std::to_string(nIndex);
}

LONG ReadDword(HKEY hKey, const std::string& strName, DWORD* pdwValue) {
  DWORD dwValue = 0;
  DWORD cbValue = sizeof(dwValue);
  const LONG lResult = RegQueryValueExA(hKey, strName.c_str(), nullptr, nullptr,
                                        reinterpret_cast<LPBYTE>(&dwValue), &cbValue);
  if (lResult != ERROR_SUCCESS) return lResult;
  if (cbValue != sizeof(dwValue)) return ERROR_BADDB;
  *pdwValue = dwValue;
  return ERROR_SUCCESS;
}

LONG WriteDword(HKEY hKey, const std::string& strName, DWORD dwValue) {
  return RegSetValueExA(hKey, strName.c_str(), 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
}

LONG ReadString(HKEY hKey, const std::string& strName, std::string* pstrValue) {
  DWORD cbValue = 0;
  LONG lResult = RegQueryValueExA(hKey, strName.c_str(), nullptr, nullptr, nullptr, &cbValue);
  if (lResult != ERROR_SUCCESS) return lResult;
  std::string strValue(cbValue, '\0');
  lResult = RegQueryValueExA(hKey, strName.c_str(), nullptr, nullptr,
                             reinterpret_cast<LPBYTE>(strValue.data()), &cbValue);
  if (lResult != ERROR_SUCCESS) return lResult;
  strValue.resize(std::min<size_t>(cbValue, strValue.find('\0')));
  *pstrValue = strValue;
  return ERROR_SUCCESS;
}

LONG WriteString(HKEY hKey, const std::string& strName, const std::string& strValue) {
  return RegSetValueExA(hKey, strName.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(strValue.c_str()),
                        static_cast<DWORD>(strValue.size() + 1));
}

LONG CreateProvidersKey(KeyHandle* pKey) {
  char szClass[] = "";
  return RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProvidersKey, 0, szClass, REG_OPTION_NON_VOLATILE,
                         KEY_ALL_ACCESS, nullptr, pKey->Out(), nullptr);
}

// Every entry, also those with a value missing (empty name, ID 0), so that rewriting keeps the
// positions.
LONG ReadRawList(HKEY hKey, std::vector<InstalledProvider>* pList, std::vector<bool>* pValid) {
  DWORD dwCount = 0;
  LONG lResult = ReadDword(hKey, "NumProviders", &dwCount);
  if (lResult == ERROR_FILE_NOT_FOUND)
    dwCount = 0;
  else if (lResult != ERROR_SUCCESS)
    return lResult;
  for (size_t i = 0; i < dwCount; ++i) {
    InstalledProvider entry;
    const bool bValid =
        ReadDword(hKey, IndexedName("ProviderID", i), &entry.dwProviderID) == ERROR_SUCCESS &&
        ReadString(hKey, IndexedName("ProviderFileName", i), &entry.strFileName) == ERROR_SUCCESS;
    if (!bValid) entry = InstalledProvider{};
    entry.strFileName = ToListFileName(entry.strFileName);
    pList->push_back(entry);
    pValid->push_back(bValid);
  }
  return ERROR_SUCCESS;
}

}  // namespace

std::string ToListFileName(const std::string& strFileName) {
  std::string strResult = strFileName;
  std::replace(strResult.begin(), strResult.end(), '/', '\\');
  return strResult;
}

LONG ReadProviderList(std::vector<InstalledProvider>* pList) {
  pList->clear();
  KeyHandle hKey;
  LONG lResult = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProvidersKey, 0, KEY_READ, hKey.Out());
  if (lResult == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (lResult != ERROR_SUCCESS) return lResult;
  std::vector<InstalledProvider> entries;
  std::vector<bool> valid;
  lResult = ReadRawList(hKey.Get(), &entries, &valid);
  if (lResult != ERROR_SUCCESS) return lResult;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (valid[i]) pList->push_back(entries[i]);
  }
  return ERROR_SUCCESS;
}

LONG PrepareProviderList(DWORD* pdwNextID) {
  KeyHandle hKey;
  LONG lResult = CreateProvidersKey(&hKey);
  if (lResult != ERROR_SUCCESS) return lResult;
  DWORD dwCount = 0;
  lResult = ReadDword(hKey.Get(), "NumProviders", &dwCount);
  if (lResult == ERROR_FILE_NOT_FOUND) lResult = WriteDword(hKey.Get(), "NumProviders", 0);
  if (lResult != ERROR_SUCCESS) return lResult;
  DWORD dwNextID = 1;
  lResult = ReadDword(hKey.Get(), "NextProviderID", &dwNextID);
  if (lResult == ERROR_FILE_NOT_FOUND) {
    dwNextID = 1;
    lResult = WriteDword(hKey.Get(), "NextProviderID", dwNextID);
  }
  if (lResult != ERROR_SUCCESS) return lResult;
  *pdwNextID = dwNextID;
  return ERROR_SUCCESS;
}

LONG AddProviderToList(DWORD dwProviderID, const char* pszFileName) {
  if (pszFileName == nullptr || pszFileName[0] == 0) return ERROR_INVALID_PARAMETER;
  KeyHandle hKey;
  LONG lResult = CreateProvidersKey(&hKey);
  if (lResult != ERROR_SUCCESS) return lResult;
  std::vector<InstalledProvider> entries;
  std::vector<bool> valid;
  lResult = ReadRawList(hKey.Get(), &entries, &valid);
  if (lResult != ERROR_SUCCESS) return lResult;
  const size_t n = entries.size();
  // The entry's values first, the count last: a failure leaves the list as it was.
  lResult = WriteDword(hKey.Get(), IndexedName("ProviderID", n), dwProviderID);
  if (lResult == ERROR_SUCCESS) {
    lResult =
        WriteString(hKey.Get(), IndexedName("ProviderFileName", n), ToListFileName(pszFileName));
  }
  if (lResult == ERROR_SUCCESS) {
    lResult = WriteDword(hKey.Get(), "NumProviders", static_cast<DWORD>(n + 1));
  }
  if (lResult != ERROR_SUCCESS) return lResult;
  DWORD dwNextID = 1;
  if (ReadDword(hKey.Get(), "NextProviderID", &dwNextID) != ERROR_SUCCESS) dwNextID = 1;
  if (dwProviderID >= dwNextID)
    lResult = WriteDword(hKey.Get(), "NextProviderID", dwProviderID + 1);
  return lResult;
}

LONG RemoveProviderFromList(DWORD dwProviderID) {
  KeyHandle hKey;
  LONG lResult = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProvidersKey, 0, KEY_ALL_ACCESS, hKey.Out());
  if (lResult != ERROR_SUCCESS) return lResult;
  std::vector<InstalledProvider> entries;
  std::vector<bool> valid;
  lResult = ReadRawList(hKey.Get(), &entries, &valid);
  if (lResult != ERROR_SUCCESS) return lResult;
  size_t nFound = entries.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    if (valid[i] && entries[i].dwProviderID == dwProviderID) {
      nFound = i;
      break;
    }
  }
  if (nFound == entries.size()) return ERROR_FILE_NOT_FOUND;
  for (size_t i = nFound; i + 1 < entries.size(); ++i) {
    if (!valid[i + 1]) {
      // A damaged entry moves down as it is: without values.
      RegDeleteValueA(hKey.Get(), IndexedName("ProviderID", i).c_str());
      RegDeleteValueA(hKey.Get(), IndexedName("ProviderFileName", i).c_str());
      continue;
    }
    lResult = WriteDword(hKey.Get(), IndexedName("ProviderID", i), entries[i + 1].dwProviderID);
    if (lResult == ERROR_SUCCESS) {
      lResult =
          WriteString(hKey.Get(), IndexedName("ProviderFileName", i), entries[i + 1].strFileName);
    }
    if (lResult != ERROR_SUCCESS) return lResult;
  }
  const size_t nLast = entries.size() - 1;
  lResult = WriteDword(hKey.Get(), "NumProviders", static_cast<DWORD>(nLast));
  if (lResult != ERROR_SUCCESS) return lResult;
  RegDeleteValueA(hKey.Get(), IndexedName("ProviderID", nLast).c_str());
  RegDeleteValueA(hKey.Get(), IndexedName("ProviderFileName", nLast).c_str());
  return ERROR_SUCCESS;
}
