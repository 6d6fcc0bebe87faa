// CDlgProviderConfig: the provider's configuration dialog: the two server addresses (shown,
// not editable) and the list of lines, which it adds to, changes and removes from.
//
// It reads and changes the settings through the CProviderConfigSettings it is given:
// - the addresses when it opens, the list when it opens and again after each action;
// - each Add, Configure and Remove at once, after the user's OK or Yes; Configure and Remove
//   only while the line index still holds the number listed, else the list is refreshed; Add
//   and Remove refused for a stored "Lines" that is no number say so in a box. A
//   change of the lines is final once made (the dialog then takes Cancel away, as far as it
//   can be closed without it);
// - on OK, the addresses where the settings still hold the ones shown.
#pragma once

#include "platform/afxdlg.h"
#include "provider/ui/provider_settings.h"

class CDlgProviderConfig : public CDialog {
 public:
  explicit CDlgProviderConfig(CProviderConfigSettings& settings, CWnd* pParent = nullptr);

  CString m_strIP1;
  CString m_strIP2;
  BOOL m_bLinesChanged = FALSE;  // an action changed the lines
  CListBox m_ctlLines;

  // TRUE when the text holds only digits and dots.
  static BOOL IsAddressText(LPCSTR pszAddress);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnAddLine();
  void OnConfigureLine();
  void OnRemoveLine();
  void OnChangeAddress();
  DECLARE_MESSAGE_MAP()

 private:
  // The line index and number behind the selected item, FALSE without a selection.
  BOOL SelectedLine(DWORD& dwIndex, CString& strNumber) const;
  // After an action: the list as the settings hold it now.
  void Done(BOOL bChanged);
  void RefreshLines(BOOL bEnableCancel);
  // The box for an Add or Remove refused for the stored "Lines" (its type; empty: no box).
  void TellLinesRefused(const CString& strLinesType);
  void UpdateButtons();
  // The first address edit whose text OK refuses; 0 when both are accepted.
  int RefusedAddressEdit();

  CProviderConfigSettings& m_settings;
  CString m_strShownIP1;
  CString m_strShownIP2;
  BOOL m_bCancelAllowed = TRUE;
};
