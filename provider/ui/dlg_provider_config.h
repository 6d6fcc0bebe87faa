// CDlgProviderConfig: the provider's configuration dialog: the two server addresses (shown,
// not editable) and the list of lines, which it adds to, changes and removes from.
//
// The caller fills the members from the provider id's settings before DoModal: m_strIP1 and
// m_strIP2 ("0.0.0.0" when not stored), m_dwLines (the "Lines" value) and m_arrLines (the
// number and password of each line index below it). Afterwards:
// - on IDOK it writes m_strIP1 and m_strIP2 back;
// - whenever m_bLinesChanged, whatever DoModal returned, it writes "Lines" = m_dwLines and every
//   entry of m_arrLines at its index. A change of the lines is final once made (the dialog then
//   takes Cancel away, as far as it can be closed without it); the array keeps the slots that
//   Remove emptied, so writing them clears the line values left behind.
#pragma once

#include <vector>

#include "platform/afxdlg.h"
#include "provider/ombix_settings.h"

class CDlgProviderConfig : public CDialog {
 public:
  explicit CDlgProviderConfig(DWORD dwProviderID = 0, CWnd* pParent = nullptr);

  DWORD m_dwProviderID;
  CString m_strIP1;
  CString m_strIP2;
  DWORD m_dwLines = 0;
  std::vector<OMBIXLINESETTINGS> m_arrLines;
  BOOL m_bLinesChanged = FALSE;
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
  OMBIXLINESETTINGS& Line(DWORD dwIndex);
  // The line index behind the selected item, FALSE without a selection.
  BOOL SelectedLine(DWORD& dwIndex) const;
  void RefreshLines(BOOL bEnableCancel);
  void UpdateButtons();
  // The first address edit whose text OK refuses; 0 when both are accepted.
  int RefusedAddressEdit();

  BOOL m_bCancelAllowed = TRUE;
};
