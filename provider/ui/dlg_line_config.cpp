#include "provider/ui/dlg_line_config.h"

#include "provider/ui/resource.h"

CDlgLineConfig::CDlgLineConfig(CWnd* pParent) : CDialog(IDD_LINE_CONFIG, pParent) {}

BEGIN_MESSAGE_MAP(CDlgLineConfig, CDialog)
ON_EN_CHANGE(IDC_NUMBER, OnChangeField)
ON_EN_CHANGE(IDC_PASSWORD, OnChangeField)
ON_EN_CHANGE(IDC_CONFIRM, OnChangeField)
END_MESSAGE_MAP()

void CDlgLineConfig::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_NUMBER, m_strNumber);
  DDX_Text(pDX, IDC_PASSWORD, m_strPassword);
  DDX_Text(pDX, IDC_CONFIRM, m_strConfirm);
}

BOOL CDlgLineConfig::OnInitDialog() {
  CDialog::OnInitDialog();
  CString title;
  title.LoadString(m_strNumber.IsEmpty() ? IDS_ADD_LINE
                   : m_bModifyPassword   ? IDS_MODIFY_PASSWORD
                                         : IDS_MODIFY_LINE);
  SetWindowText(title);
  CenterWindow();
  if (m_bModifyPassword) {
    static_cast<CEdit*>(GetDlgItem(IDC_NUMBER))->SetReadOnly(TRUE);
    GetDlgItem(IDC_PASSWORD)->SetFocus();
    return FALSE;
  }
  return TRUE;
}

void CDlgLineConfig::OnChangeField() {
  const BOOL bComplete = GetDlgItem(IDC_NUMBER)->GetWindowTextLength() > 0 &&
                         GetDlgItem(IDC_PASSWORD)->GetWindowTextLength() > 0 &&
                         GetDlgItem(IDC_CONFIRM)->GetWindowTextLength() > 0;
  GetDlgItem(IDOK)->EnableWindow(bComplete);
}

void CDlgLineConfig::OnOK() {
  UpdateData(TRUE);
  if (m_strPassword != m_strConfirm) {
    AfxMessageBox(IDS_PASSWORD_MISMATCH);
    GetDlgItem(IDC_CONFIRM)->SetFocus();
    return;
  }
  EndDialog(IDOK);
}
