// Windows, controls and modal dialogs over the presenter.
#include "platform/afxdlg.h"

#include "platform/afxwin.h"
#include "platform/dialog_presenter.h"

IMPLEMENT_DYNAMIC(CWnd, CObject)
IMPLEMENT_DYNAMIC(CEdit, CWnd)
IMPLEMENT_DYNAMIC(CButton, CWnd)
IMPLEMENT_DYNAMIC(CListBox, CWnd)
IMPLEMENT_DYNAMIC(CDialog, CWnd)

namespace {

BOOL IsEdit(const AFX_WNDSTATE& s) {
  return s.pItem != nullptr && s.pItem->kind == DlgControlKind::Edit;
}

BOOL IsValidIndex(const AFX_WNDSTATE& s, int nIndex) {
  return nIndex >= 0 && nIndex < static_cast<int>(s.items.size());
}

}  // namespace

// --- CWnd ---

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, nullptr}};
  static const AFX_MSGMAP map = {nullptr, entries};
  return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const {
  return GetThisMessageMap();
}

void CWnd::DoDataExchange(CDataExchange*) {}

int CWnd::GetDlgCtrlID() const {
  return m_pState != nullptr ? m_pState->GetID() : 0;
}

void CWnd::SetWindowText(LPCTSTR lpszString) {
  if (m_pState == nullptr) return;
  m_pState->strText = lpszString;
  if (IsEdit(*m_pState) && m_pState->pDialog != nullptr) {
    m_pState->pDialog->Notify(*m_pState, EN_CHANGE);
  }
}

void CWnd::GetWindowText(CString& rString) const {
  rString = m_pState != nullptr ? m_pState->strText : CString();
}

int CWnd::GetWindowTextLength() const {
  return m_pState != nullptr ? m_pState->strText.GetLength() : 0;
}

BOOL CWnd::EnableWindow(BOOL bEnable) {
  if (m_pState == nullptr) return FALSE;
  const BOOL bWasDisabled = !m_pState->bEnabled;
  m_pState->bEnabled = bEnable ? TRUE : FALSE;
  return bWasDisabled;
}

BOOL CWnd::IsWindowEnabled() const {
  return m_pState != nullptr && m_pState->bEnabled;
}

CWnd* CWnd::SetFocus() {
  if (m_pState == nullptr || m_pState->pDialog == nullptr || m_pState->pItem == nullptr) {
    return nullptr;
  }
  CDialog* pDlg = m_pState->pDialog;
  AFX_WNDSTATE* pOld = pDlg->m_pFocus;
  pDlg->m_pFocus = m_pState;
  return pOld != nullptr ? pDlg->ItemWindow(pOld) : nullptr;
}

CWnd* CWnd::GetDlgItem(int nID) const {
  if (m_pState == nullptr || m_pState->pDialog == nullptr) return nullptr;
  CDialog* pDlg = m_pState->pDialog;
  return pDlg->ItemWindow(pDlg->FindControl(nID));
}

void CWnd::SetDlgItemText(int nID, LPCTSTR lpszString) {
  if (CWnd* pItem = GetDlgItem(nID)) pItem->SetWindowText(lpszString);
}

int CWnd::GetDlgItemText(int nID, CString& rString) const {
  rString.Empty();
  if (CWnd* pItem = GetDlgItem(nID)) pItem->GetWindowText(rString);
  return rString.GetLength();
}

void CWnd::CenterWindow(CWnd*) {
  if (m_pState != nullptr && m_pState->pItem == nullptr) m_pState->bCentered = TRUE;
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
  if (m_pState == nullptr) return FALSE;
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

// --- Controls ---

BOOL CEdit::SetReadOnly(BOOL bReadOnly) {
  if (m_pState == nullptr) return FALSE;
  if (bReadOnly) {
    m_pState->dwStyle |= ES_READONLY;
  } else {
    m_pState->dwStyle &= ~ES_READONLY;
  }
  return TRUE;
}

int CListBox::GetCount() const {
  return m_pState != nullptr ? static_cast<int>(m_pState->items.size()) : LB_ERR;
}

int CListBox::AddString(LPCTSTR lpszItem) {
  if (m_pState == nullptr) return LB_ERR;
  m_pState->items.emplace_back(lpszItem);
  m_pState->itemData.push_back(0);
  return static_cast<int>(m_pState->items.size()) - 1;
}

int CListBox::DeleteString(UINT nIndex) {
  if (m_pState == nullptr || !IsValidIndex(*m_pState, static_cast<int>(nIndex))) return LB_ERR;
  m_pState->items.erase(m_pState->items.begin() + nIndex);
  m_pState->itemData.erase(m_pState->itemData.begin() + nIndex);
  const int nSel = m_pState->nCurSel;
  if (nSel == static_cast<int>(nIndex)) {
    m_pState->nCurSel = LB_ERR;
  } else if (nSel > static_cast<int>(nIndex)) {
    m_pState->nCurSel = nSel - 1;
  }
  return static_cast<int>(m_pState->items.size());
}

void CListBox::ResetContent() {
  if (m_pState == nullptr) return;
  m_pState->items.clear();
  m_pState->itemData.clear();
  m_pState->nCurSel = LB_ERR;
}

int CListBox::GetCurSel() const {
  return m_pState != nullptr ? m_pState->nCurSel : LB_ERR;
}

int CListBox::SetCurSel(int nSelect) {
  if (m_pState == nullptr) return LB_ERR;
  m_pState->nCurSel = IsValidIndex(*m_pState, nSelect) ? nSelect : LB_ERR;
  return m_pState->nCurSel;
}

int CListBox::GetText(int nIndex, CString& rString) const {
  if (m_pState == nullptr || !IsValidIndex(*m_pState, nIndex)) return LB_ERR;
  rString = m_pState->items[static_cast<size_t>(nIndex)];
  return rString.GetLength();
}

DWORD_PTR CListBox::GetItemData(int nIndex) const {
  if (m_pState == nullptr || !IsValidIndex(*m_pState, nIndex)) {
    return static_cast<DWORD_PTR>(LB_ERR);
  }
  return m_pState->itemData[static_cast<size_t>(nIndex)];
}

int CListBox::SetItemData(int nIndex, DWORD_PTR dwItemData) {
  if (m_pState == nullptr || !IsValidIndex(*m_pState, nIndex)) return LB_ERR;
  m_pState->itemData[static_cast<size_t>(nIndex)] = dwItemData;
  return 0;
}

// --- Data exchange ---

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
  CWnd* pItem = pDX->m_pDlgWnd->GetDlgItem(nIDC);
  if (pItem == nullptr) return;
  if (pDX->m_bSaveAndValidate) {
    pItem->GetWindowText(value);
  } else {
    pItem->SetWindowText(value);
  }
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (rControl.GetState() != nullptr) return;
  CWnd* pItem = pDX->m_pDlgWnd->GetDlgItem(nIDC);
  auto* pDlg = dynamic_cast<CDialog*>(pDX->m_pDlgWnd);
  if (pItem == nullptr || pDlg == nullptr) return;
  rControl.Attach(pItem->GetState());
  pDlg->m_attached.push_back(&rControl);
}

// --- Message boxes ---

int AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT) {
  CWinApp* pApp = AfxGetApp();
  return MessageBoxA(nullptr, lpszText, pApp != nullptr ? pApp->m_pszAppName : "", nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp) {
  CString text;
  text.LoadString(nIDPrompt);
  return AfxMessageBox(text, nType, nIDHelp);
}
