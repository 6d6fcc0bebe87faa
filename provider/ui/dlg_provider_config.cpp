#include "provider/ui/dlg_provider_config.h"

#include <cstring>
#include <vector>

#include "provider/ui/dlg_line_config.h"
#include "provider/ui/resource.h"

CDlgProviderConfig::CDlgProviderConfig(CProviderConfigSettings& settings, CWnd* pParent)
    : CDialog(IDD_PROVIDER_CONFIG, pParent), m_settings(settings) {}

BEGIN_MESSAGE_MAP(CDlgProviderConfig, CDialog)
ON_BN_CLICKED(IDC_ADD_LINE, OnAddLine)
ON_BN_CLICKED(IDC_CONFIGURE_LINE, OnConfigureLine)
ON_BN_CLICKED(IDC_REMOVE_LINE, OnRemoveLine)
ON_EN_CHANGE(IDC_IP1, OnChangeAddress)
ON_EN_CHANGE(IDC_IP2, OnChangeAddress)
END_MESSAGE_MAP()

namespace {

// In the order OK checks them.
constexpr int kAddressEdits[] = {IDC_IP1, IDC_IP2};

}  // namespace

BOOL CDlgProviderConfig::IsAddressText(LPCSTR pszAddress) {
  return pszAddress[std::strspn(pszAddress, "0123456789.")] == '\0';
}

void CDlgProviderConfig::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_LINE_LIST, m_ctlLines);
  DDX_Text(pDX, IDC_IP1, m_strIP1);
  DDX_Text(pDX, IDC_IP2, m_strIP2);
}

BOOL CDlgProviderConfig::OnInitDialog() {
  m_settings.LoadAddresses(m_strIP1, m_strIP2);
  m_strShownIP1 = m_strIP1;
  m_strShownIP2 = m_strIP2;
  CDialog::OnInitDialog();
  RefreshLines(TRUE);
  CenterWindow();
  return TRUE;
}

BOOL CDlgProviderConfig::SelectedLine(DWORD& dwIndex, CString& strNumber) const {
  const int nSel = m_ctlLines.GetCurSel();
  if (nSel == LB_ERR) return FALSE;
  dwIndex = static_cast<DWORD>(m_ctlLines.GetItemData(nSel));
  m_ctlLines.GetText(nSel, strNumber);
  return TRUE;
}

// Lines without a number are not listed, so each item carries its line index.
void CDlgProviderConfig::RefreshLines(BOOL bEnableCancel) {
  const std::vector<CString> numbers = m_settings.LoadNumbers();
  m_ctlLines.ResetContent();
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (numbers[i].IsEmpty()) continue;
    m_ctlLines.SetItemData(m_ctlLines.AddString(numbers[i]), i);
  }
  m_ctlLines.SetCurSel(0);
  const BOOL bAny = m_ctlLines.GetCount() > 0;
  m_ctlLines.EnableWindow(bAny);
  GetDlgItem(IDC_REMOVE_LINE)->EnableWindow(bAny);
  GetDlgItem(IDC_CONFIGURE_LINE)->EnableWindow(bAny);
  m_bCancelAllowed = bEnableCancel;
  UpdateButtons();
}

// The address edits cannot be changed here, so while OK is disabled, or would refuse the
// addresses shown, Cancel is the only way out.
void CDlgProviderConfig::UpdateButtons() {
  const BOOL bAddresses = GetDlgItem(IDC_IP1)->GetWindowTextLength() > 0 &&
                          GetDlgItem(IDC_IP2)->GetWindowTextLength() > 0;
  GetDlgItem(IDOK)->EnableWindow(bAddresses);
  const BOOL bAccepted = bAddresses && RefusedAddressEdit() == 0;
  GetDlgItem(IDCANCEL)->EnableWindow(m_bCancelAllowed || !bAccepted);
}

int CDlgProviderConfig::RefusedAddressEdit() {
  for (const int nID : kAddressEdits) {
    CString address;
    GetDlgItemText(nID, address);
    if (!IsAddressText(address)) return nID;
  }
  return 0;
}

void CDlgProviderConfig::OnChangeAddress() {
  UpdateButtons();
}

void CDlgProviderConfig::Done(BOOL bChanged) {
  if (bChanged) m_bLinesChanged = TRUE;
  RefreshLines(m_bCancelAllowed && !bChanged);
}

// Each action writes its change at once, and never while a dialog or box waits for the user:
// another program may save in the meantime.
void CDlgProviderConfig::OnAddLine() {
  CDlgLineConfig dlg(this);
  if (dlg.DoModal() != IDOK) return;
  CString strLinesType;
  const BOOL bChanged = m_settings.AddLine(dlg.m_strNumber, dlg.m_strPassword, strLinesType);
  TellLinesRefused(strLinesType);
  Done(bChanged);
}

// Counted as 0, such a "Lines" would have the change overwrite line 0.
void CDlgProviderConfig::TellLinesRefused(const CString& strLinesType) {
  if (strLinesType.IsEmpty()) return;
  CString format;
  CString text;
  format.LoadString(IDS_LINES_NOT_A_NUMBER);
  text.Format(format, strLinesType.GetString());
  AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
}

void CDlgProviderConfig::OnConfigureLine() {
  DWORD dwIndex = 0;
  CString strShown;
  if (!SelectedLine(dwIndex, strShown)) return;
  CDlgLineConfig dlg(this);
  m_settings.LoadLine(dwIndex, dlg.m_strNumber, dlg.m_strPassword);
  // The line listed is no longer at that index: the list shows what is.
  if (dlg.m_strNumber != strShown) return Done(FALSE);
  if (dlg.DoModal() != IDOK) return;
  Done(m_settings.ChangeLine(dwIndex, strShown, dlg.m_strNumber, dlg.m_strPassword));
}

void CDlgProviderConfig::OnRemoveLine() {
  DWORD dwIndex = 0;
  CString strShown;
  if (!SelectedLine(dwIndex, strShown)) return;
  CString format;
  CString question;
  format.LoadString(IDS_CONFIRM_DELETE);
  question.Format(format, strShown.GetString());
  if (AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  CString strLinesType;
  const BOOL bChanged = m_settings.RemoveLine(dwIndex, strShown, strLinesType);
  TellLinesRefused(strLinesType);
  Done(bChanged);
}

void CDlgProviderConfig::OnOK() {
  UpdateData(TRUE);
  if (const int nID = RefusedAddressEdit()) {
    AfxMessageBox(IDS_INVALID_IP);
    GetDlgItem(nID)->SetFocus();
    return;
  }
  m_settings.SaveAddresses(m_strShownIP1, m_strShownIP2, m_strIP1, m_strIP2);
  EndDialog(IDOK);
}
