// CProviderConfigSettings: what the provider dialog reads from the provider's settings and the
// changes it makes to them. Each change is made at once, from the settings as they are then, and
// answers FALSE (nothing changed) when they no longer hold what the dialog showed or cannot be
// written. Adding and removing count on "Lines": where it is stored but is no number, they
// answer FALSE with its stored type in strLinesType (else left as it was).
#pragma once

#include <vector>

#include "platform/afx_string.h"

class CProviderConfigSettings {
 public:
  virtual ~CProviderConfigSettings() = default;

  // "IP1" and "IP2" as the dialog shows them: "0.0.0.0" when missing.
  virtual void LoadAddresses(CString& strIP1, CString& strIP2) = 0;
  // The number of each line index below "Lines", empty when missing.
  virtual std::vector<CString> LoadNumbers() = 0;
  // The line's number and password; both empty when the index is not below "Lines".
  virtual void LoadLine(DWORD dwIndex, CString& strNumber, CString& strPassword) = 0;
  // A new line at index "Lines", which grows by one.
  virtual BOOL AddLine(LPCSTR pszNumber, LPCSTR pszPassword, CString& strLinesType) = 0;
  // Only while the index is below "Lines" and its number is still pszShownNumber.
  virtual BOOL ChangeLine(DWORD dwIndex, LPCSTR pszShownNumber, LPCSTR pszNumber,
                          LPCSTR pszPassword) = 0;
  // On the same condition: the later lines move down one index, the last one is emptied and
  // "Lines" shrinks by one.
  virtual BOOL RemoveLine(DWORD dwIndex, LPCSTR pszShownNumber, CString& strLinesType) = 0;
  // Each address only where the settings still hold the one shown (missing: "0.0.0.0").
  virtual void SaveAddresses(LPCSTR pszShownIP1, LPCSTR pszShownIP2, LPCSTR pszIP1,
                             LPCSTR pszIP2) = 0;
};
