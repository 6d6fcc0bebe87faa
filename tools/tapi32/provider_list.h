// The list of installed telephony providers, kept as the telephony service keeps it: under
// HKEY_LOCAL_MACHINE "Software\Microsoft\Windows\CurrentVersion\Telephony\Providers", the
// DWORDs "NumProviders" and "NextProviderID" and, for n = 0 .. NumProviders-1, the DWORD
// "ProviderID<n>" and the text "ProviderFileName<n>".
//
// Contract:
// - File names are kept as the telephony service's platform writes them, with backslashes: a
//   "/" in a name given here is stored, and read back, as "\".
// - A missing key reads as an empty list. Results are the registry's error codes
//   (ERROR_SUCCESS, ...); entries whose values are missing are left out of what is read.
// - The host adds a provider only after its TUISPI_providerInstall agreed, under the ID that
//   PrepareProviderList named, so the provider does not find itself while it installs.
#pragma once

#include <string>
#include <vector>

#include "platform/winerror.h"
#include "platform/wintypes.h"

inline constexpr char kProvidersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Providers";

struct InstalledProvider {
  DWORD dwProviderID = 0;
  std::string strFileName;
};

LONG ReadProviderList(std::vector<InstalledProvider>* pList);
// Creates the key (NumProviders 0, NextProviderID 1) when missing; *pdwNextID is the permanent
// provider ID that the next provider gets.
LONG PrepareProviderList(DWORD* pdwNextID);
// Appends the entry and moves NextProviderID past its ID.
LONG AddProviderToList(DWORD dwProviderID, const char* pszFileName);
// Removes the entry with that ID, later entries moving down one place; ERROR_FILE_NOT_FOUND
// when there is none.
LONG RemoveProviderFromList(DWORD dwProviderID);
// The file name as the list holds it: every "/" turned into "\".
std::string ToListFileName(const std::string& strFileName);
