#include "provider/ui/dlg_provider_config.h"

#include <cstring>

#include "provider/ui/dlg_line_config.h"
#include "provider/ui/resource.h"

CDlgProviderConfig::CDlgProviderConfig(DWORD dwProviderID, CWnd* pParent)
    : CDialog(IDD_PROVIDER_CONFIG, pParent), m_dwProviderID(dwProviderID) {}

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
  CDialog::OnInitDialog();
  RefreshLines(TRUE);
  CenterWindow();
  return TRUE;
}

OMBIXLINESETTINGS& CDlgProviderConfig::Line(DWORD dwIndex) {
  if (dwIndex >= m_arrLines.size()) m_arrLines.resize(dwIndex + 1);
  return m_arrLines[dwIndex];
}

BOOL CDlgProviderConfig::SelectedLine(DWORD& dwIndex) const {
  const int nSel = m_ctlLines.GetCurSel();
  if (nSel == LB_ERR) return FALSE;
  dwIndex = static_cast<DWORD>(m_ctlLines.GetItemData(nSel));
  return TRUE;
}

// Lines without a number are not listed, so each item carries its line index.
void CDlgProviderConfig::RefreshLines(BOOL bEnableCancel) {
  m_ctlLines.ResetContent();
  for (DWORD i = 0; i < m_dwLines; ++i) {
    const CString& number = i < m_arrLines.size() ? m_arrLines[i].strNumber : CString();
    if (number.IsEmpty()) continue;
    m_ctlLines.SetItemData(m_ctlLines.AddString(number), i);
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

void CDlgProviderConfig::OnAddLine() {
  CDlgLineConfig dlg(this);
  if (dlg.DoModal() != IDOK) return;
  const DWORD dwIndex = m_dwLines++;
  Line(dwIndex) = {dlg.m_strNumber, dlg.m_strPassword};
  m_bLinesChanged = TRUE;
  RefreshLines(FALSE);
}

void CDlgProviderConfig::OnConfigureLine() {
  DWORD dwIndex = 0;
  if (!SelectedLine(dwIndex)) return;
  CDlgLineConfig dlg(this);
  dlg.m_strNumber = Line(dwIndex).strNumber;
  dlg.m_strPassword = Line(dwIndex).strPassword;
  if (dlg.DoModal() != IDOK) return;
  Line(dwIndex) = {dlg.m_strNumber, dlg.m_strPassword};
  m_bLinesChanged = TRUE;
  RefreshLines(FALSE);
}

void CDlgProviderConfig::OnRemoveLine() {
  DWORD dwIndex = 0;
  if (!SelectedLine(dwIndex)) return;
  CString format;
  CString question;
  format.LoadString(IDS_CONFIRM_DELETE);
  question.Format(format, Line(dwIndex).strNumber.GetString());
  if (AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION) != IDYES || m_dwLines == 0) return;
  const DWORD dwOldLines = m_dwLines--;
  for (DWORD i = dwIndex; i + 1 < dwOldLines; ++i) Line(i) = Line(i + 1);
  Line(dwOldLines - 1) = {};
  m_bLinesChanged = TRUE;
  RefreshLines(FALSE);
}

void CDlgProviderConfig::OnOK() {
  UpdateData(TRUE);
  if (const int nID = RefusedAddressEdit()) {
    AfxMessageBox(IDS_INVALID_IP);
    GetDlgItem(nID)->SetFocus();
    return;
  }
  EndDialog(IDOK);
}
