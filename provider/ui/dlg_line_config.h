// CDlgLineConfig: the dialog that adds a line or changes a line's number and password.
//
// The caller fills m_strNumber and m_strPassword (empty to add a line) and m_bModifyPassword,
// runs DoModal and, on IDOK, takes the number and password back (the confirmation equals the
// password then). In modify-password mode the number is shown read-only.
#pragma once

#include "platform/afxdlg.h"

class CDlgLineConfig : public CDialog {
 public:
  explicit CDlgLineConfig(CWnd* pParent = nullptr);

  CString m_strNumber;
  CString m_strPassword;
  CString m_strConfirm;
  BOOL m_bModifyPassword = FALSE;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnChangeField();
  DECLARE_MESSAGE_MAP()
};
