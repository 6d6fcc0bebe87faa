// The switch provider's settings under its "Device%ld" key: the value names, the per-line pair
// (number and password) that the provider and its dialogs share, the numbers they hold, and the
// changes the provider's start and its dialogs make.
//
// Every operation goes through the provider object's registry profile (GetSP()), so a missing
// value reads as its default and a write creates the keys it needs. No operation here keeps
// state; all are safe on any thread.
#pragma once

#include <vector>

#include "platform/afx_string.h"
#include "platform/wintypes.h"
#include "provider/ui/provider_settings.h"

inline constexpr char kSettingLines[] = "Lines";
inline constexpr char kSettingIP1[] = "IP1";
inline constexpr char kSettingIP2[] = "IP2";
inline constexpr char kSettingPingTimer[] = "PingTimer";
inline constexpr char kLineNumberFormat[] = "Line.%X.Number";
inline constexpr char kLinePasswordFormat[] = "Line.%X.Password";
// What the dialogs show for a missing server address.
inline constexpr char kShownMissingAddress[] = "0.0.0.0";

// The most lines one device may have: a permanent line ID keeps 15 bits of the index, and a
// larger count would make lines share IDs.
inline constexpr DWORD kMaxLinesPerDevice = 32768;

// A line's value name: the format with the line index in upper-case hexadecimal.
CString LineValueName(LPCSTR pszFormat, DWORD dwLineIndex);

// "Line.%X.Number" and "Line.%X.Password" of the provider ID's key; empty when missing.
void LoadLineSettings(DWORD dwProviderID, DWORD dwLineIndex, CString& strNumber,
                      CString& strPassword);
struct OMBIXLINESETTINGS {
  CString strNumber;
  CString strPassword;
};
// LoadLineSettings of lines 0 .. dwLines-1, read in one pass over the registry.
std::vector<OMBIXLINESETTINGS> LoadAllLineSettings(DWORD dwProviderID, DWORD dwLines);
// The same of lines dwFirst .. dwFirst+dwCount-1.
std::vector<OMBIXLINESETTINGS> LoadLineSettingsRange(DWORD dwProviderID, DWORD dwFirst,
                                                     DWORD dwCount);
// Writes both as REG_SZ, in one write of the file; write errors are not reported.
void SaveLineSettings(DWORD dwProviderID, DWORD dwLineIndex, LPCSTR pszNumber, LPCSTR pszPassword);

// The changes below each read the key and write it back in one registry batch (one write of the
// file), so that whatever another process saved before the batch began stays. "Lines" is taken
// as at most kMaxLinesPerDevice.
//
// Rewrites the key with only "Lines", "IP1", "IP2", "PingTimer" and the pair of each line below
// "Lines", each with the type and bytes the file holds (a missing value is written empty, a
// missing "Lines" as 0, a missing "PingTimer" not at all); everything else in the key goes. A
// "Lines" that is there but no number (see CServiceProvider::DwordOfValue) leaves the key as it
// is and is reported to the debugger output. FALSE when the key was not rewritten.
BOOL RewriteDeviceSettings(DWORD dwProviderID);

// A stored value's type for a person to read, with its size: "REG_SZ of 4 bytes".
CString DescribeValueType(DWORD dwType, size_t cbData);

// The provider dialog's settings (see CProviderConfigSettings) under the provider ID's key: each
// change is one batch as above, and a refused change writes nothing.
class COmbixConfigSettings : public CProviderConfigSettings {
 public:
  explicit COmbixConfigSettings(DWORD dwProviderID) : m_dwProviderID(dwProviderID) {}
  void LoadAddresses(CString& strIP1, CString& strIP2) override;
  std::vector<CString> LoadNumbers() override;
  void LoadLine(DWORD dwIndex, CString& strNumber, CString& strPassword) override;
  BOOL AddLine(LPCSTR pszNumber, LPCSTR pszPassword, CString& strLinesType) override;
  BOOL ChangeLine(DWORD dwIndex, LPCSTR pszShownNumber, LPCSTR pszNumber,
                  LPCSTR pszPassword) override;
  BOOL RemoveLine(DWORD dwIndex, LPCSTR pszShownNumber, CString& strLinesType) override;
  void SaveAddresses(LPCSTR pszShownIP1, LPCSTR pszShownIP2, LPCSTR pszIP1, LPCSTR pszIP2) override;

 private:
  DWORD m_dwProviderID;
};
