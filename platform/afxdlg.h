// Windows, controls and modal dialogs of the MFC subset, run by a dialog presenter
// (platform/dialog_presenter.h) in place of a window system.
//
// Contract:
// - CDialog::DoModal builds the dialog from its registered template (platform/winuser.h), calls
//   OnInitDialog and hands the dialog to the current presenter, which plays the user until
//   EndDialog is called. It returns the EndDialog result, or -1 when the template is missing,
//   the presenter shows no dialogs (OnInitDialog then never runs) or the presenter gave up.
// - A CWnd stands for a window only while it is attached: the dialog itself during DoModal, the
//   objects that GetDlgItem returns, and the members DDX_Control attaches. Detached, every
//   operation is a no-op returning 0/FALSE/empty. GetDlgItem returns NULL for an unknown id.
// - Commands reach the message map of the dialog (most derived class first): BN_CLICKED for a
//   clicked button, LBN_SELCHANGE for a list box with LBS_NOTIFY whose selection the user
//   changed, EN_CHANGE whenever an edit's text is set, by the user or by the program.
//   CDialog maps IDOK and IDCANCEL to the virtual OnOK and OnCancel.
// - The user's side (the User* operations) refuses what a user cannot do: acting on a disabled
//   control, typing into a read-only edit, Escape with a disabled Cancel, Enter with a disabled
//   default button. Each returns NULL when done, else the reason.
// Threads: a dialog and its controls belong to the thread that runs DoModal.
#pragma once

#include <memory>
#include <vector>

#include "platform/afx.h"
#include "platform/winuser.h"

class CWnd;
class CDialog;

// --- Message maps ---
using AFX_PMSG = void (CWnd::*)();
struct AFX_MSGMAP_ENTRY {
  UINT nCode;  // notification code
  UINT nID;    // control id
  AFX_PMSG pfn;
};
struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;  // ends with a NULL pfn
};

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)        \
  const AFX_MSGMAP* theClass::GetMessageMap() const { \
    return GetThisMessageMap();                       \
  }                                                   \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {   \
    using ThisClass = theClass;                       \
    using TheBaseClass = baseClass;                   \
    static const AFX_MSGMAP_ENTRY entries[] = {
#define ON_NOTIFY_CODE_(code, id, memberFxn) \
  {code, static_cast<UINT>(id), static_cast<AFX_PMSG>(&ThisClass::memberFxn)},
#define ON_BN_CLICKED(id, memberFxn) ON_NOTIFY_CODE_(BN_CLICKED, id, memberFxn)
#define ON_COMMAND(id, memberFxn) ON_NOTIFY_CODE_(BN_CLICKED, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_NOTIFY_CODE_(EN_CHANGE, id, memberFxn)
#define ON_LBN_SELCHANGE(id, memberFxn) ON_NOTIFY_CODE_(LBN_SELCHANGE, id, memberFxn)
#define END_MESSAGE_MAP()                                                    \
  { 0, 0, nullptr }                                                          \
  }                                                                          \
  ;                                                                          \
  static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
  return &map;                                                               \
  }

// The state of one window of a running dialog (the dialog itself or a control), which
// presenters read. Owned by the dialog; valid until DoModal returns.
struct AFX_WNDSTATE {
  CDialog* pDialog = nullptr;
  const DLGITEMDEF* pItem = nullptr;  // NULL for the dialog itself
  DWORD dwStyle = 0;
  CString strText;
  BOOL bEnabled = TRUE;
  BOOL bCentered = FALSE;      // the dialog only
  std::vector<CString> items;  // list boxes
  std::vector<DWORD_PTR> itemData;
  int nCurSel = LB_ERR;

  int GetID() const { return pItem != nullptr ? pItem->nID : 0; }
  BOOL IsReadOnly() const { return (dwStyle & ES_READONLY) != 0 ? TRUE : FALSE; }
};

class CWnd : public CObject {
  DECLARE_DYNAMIC(CWnd)

 public:
  CWnd() = default;
  ~CWnd() override = default;

  int GetDlgCtrlID() const;
  void SetWindowText(LPCTSTR lpszString);
  void GetWindowText(CString& rString) const;
  int GetWindowTextLength() const;
  // Returns TRUE when the window was disabled before.
  BOOL EnableWindow(BOOL bEnable = TRUE);
  BOOL IsWindowEnabled() const;
  // Returns the window that had the focus, NULL when none (or not attached).
  CWnd* SetFocus();
  CWnd* GetDlgItem(int nID) const;
  void SetDlgItemText(int nID, LPCTSTR lpszString);
  int GetDlgItemText(int nID, CString& rString) const;
  void CenterWindow(CWnd* pAlternateOwner = nullptr);
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

  // What the window is attached to; NULL when detached.
  AFX_WNDSTATE* GetState() const { return m_pState; }
  void Attach(AFX_WNDSTATE* pState) { m_pState = pState; }
  void Detach() { m_pState = nullptr; }

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
  virtual void DoDataExchange(class CDataExchange* pDX);
  friend class CDialog;

  AFX_WNDSTATE* m_pState = nullptr;
};

class CEdit : public CWnd {
  DECLARE_DYNAMIC(CEdit)
 public:
  BOOL SetReadOnly(BOOL bReadOnly = TRUE);
};

class CButton : public CWnd {
  DECLARE_DYNAMIC(CButton)
};

class CListBox : public CWnd {
  DECLARE_DYNAMIC(CListBox)

 public:
  int GetCount() const;
  int AddString(LPCTSTR lpszItem);  // index of the new item (appended), LB_ERR when detached
  int DeleteString(UINT nIndex);    // items left, LB_ERR for a bad index
  void ResetContent();
  int GetCurSel() const;  // LB_ERR when nothing is selected
  // -1 clears the selection; a bad index clears it too and returns LB_ERR.
  int SetCurSel(int nSelect);
  int GetText(int nIndex, CString& rString) const;  // length, LB_ERR for a bad index
  DWORD_PTR GetItemData(int nIndex) const;          // LB_ERR for a bad index
  int SetItemData(int nIndex, DWORD_PTR dwItemData);
};

class CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
      : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
  BOOL m_bSaveAndValidate;  // TRUE: controls to members
  CWnd* m_pDlgWnd;
};

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
// Attaches rControl to the control nIDC for the rest of the dialog's run.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CDialog : public CWnd {
  DECLARE_DYNAMIC(CDialog)

 public:
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  ~CDialog() override;

  virtual INT_PTR DoModal();
  void EndDialog(int nResult);

  // --- For presenters: the running dialog and the user's actions. ---
  UINT GetTemplateID() const { return m_nIDTemplate; }
  CString GetCaption() const;
  // The controls in template order.
  const std::vector<std::unique_ptr<AFX_WNDSTATE>>& GetControls() const;
  int GetFocusID() const;  // 0 when no control has the focus
  BOOL IsEnded() const { return m_bEnded; }
  LPCSTR UserSetText(int nID, LPCSTR lpszText);
  LPCSTR UserClick(int nID);
  LPCSTR UserSelect(int nID, int nIndex);
  LPCSTR UserEscape();
  LPCSTR UserEnter();

 protected:
  virtual BOOL OnInitDialog();  // TRUE: the first tab stop gets the focus
  virtual void OnOK();
  virtual void OnCancel();
  DECLARE_MESSAGE_MAP()

 private:
  friend class CWnd;
  friend void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
  void Notify(const AFX_WNDSTATE& control, UINT nCode);
  AFX_WNDSTATE* FindControl(int nID) const;
  CWnd* ItemWindow(AFX_WNDSTATE* pState) const;
  void Build(const DLGTEMPLATEDEF& tmpl);
  void TearDown();

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;
  AFX_WNDSTATE m_self;
  std::vector<std::unique_ptr<AFX_WNDSTATE>> m_controls;
  mutable std::vector<std::unique_ptr<CWnd>> m_itemWnds;  // one per control, for GetDlgItem
  std::vector<CWnd*> m_attached;                          // DDX_Control members
  AFX_WNDSTATE* m_pFocus = nullptr;
  BOOL m_bRunning = FALSE;
  BOOL m_bEnded = FALSE;
  int m_nResult = -1;
};

// A box owned by the application: the caption is the application's name.
int AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = static_cast<UINT>(-1));
