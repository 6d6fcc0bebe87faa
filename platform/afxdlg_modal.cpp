// CDialog: building a dialog from its template, the modal run and the user's actions.
#include <algorithm>

#include "platform/afxdlg.h"
#include "platform/dialog_presenter.h"

namespace {

BOOL IsEdit(const AFX_WNDSTATE& s) {
  return s.pItem != nullptr && s.pItem->kind == DlgControlKind::Edit;
}

}  // namespace

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() {
  TearDown();
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_BN_CLICKED(IDOK, OnOK)
ON_BN_CLICKED(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

void CDialog::Build(const DLGTEMPLATEDEF& tmpl) {
  m_self = AFX_WNDSTATE{};
  m_self.pDialog = this;
  m_self.dwStyle = tmpl.dwStyle;
  m_self.strText = tmpl.pszCaption;
  for (int i = 0; i < tmpl.nItems; ++i) {
    const DLGITEMDEF& item = tmpl.pItems[i];
    auto state = std::make_unique<AFX_WNDSTATE>();
    state->pDialog = this;
    state->pItem = &item;
    state->dwStyle = item.dwStyle | WS_CHILD | WS_VISIBLE;
    state->strText = item.pszText;
    state->bEnabled = (item.dwStyle & WS_DISABLED) == 0;
    m_controls.push_back(std::move(state));
    m_itemWnds.push_back(nullptr);
  }
  m_pState = &m_self;
  m_pFocus = nullptr;
  m_bEnded = FALSE;
  m_nResult = -1;
}

void CDialog::TearDown() {
  for (CWnd* pWnd : m_attached) pWnd->Detach();
  m_attached.clear();
  m_itemWnds.clear();
  m_controls.clear();
  m_pFocus = nullptr;
  m_pState = nullptr;
}

INT_PTR CDialog::DoModal() {
  const DLGTEMPLATEDEF* pTemplate = AfxFindDialogTemplate(m_nIDTemplate);
  const std::shared_ptr<CDialogPresenter> presenter = AfxGetDialogPresenter();
  if (pTemplate == nullptr || m_bRunning || !presenter->ShowsDialogs()) return -1;
  m_bRunning = TRUE;
  Build(*pTemplate);
  if (OnInitDialog() && m_pFocus == nullptr) {
    for (const auto& control : m_controls) {
      if ((control->dwStyle & WS_TABSTOP) != 0 && control->bEnabled) {
        m_pFocus = control.get();
        break;
      }
    }
  }
  if (!m_bEnded) presenter->RunModal(*this);
  const int nResult = m_bEnded ? m_nResult : -1;
  TearDown();
  m_bRunning = FALSE;
  return nResult;
}

void CDialog::EndDialog(int nResult) {
  if (!m_bRunning) return;
  m_bEnded = TRUE;
  m_nResult = nResult;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() {
  EndDialog(IDCANCEL);
}

void CDialog::Notify(const AFX_WNDSTATE& control, UINT nCode) {
  const UINT nID = static_cast<UINT>(control.GetID());
  for (const AFX_MSGMAP* pMap = GetMessageMap(); pMap != nullptr;
       pMap = pMap->pfnGetBaseMap != nullptr ? pMap->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* p = pMap->lpEntries; p->pfn != nullptr; ++p) {
      if (p->nCode == nCode && p->nID == nID) {
        (this->*(p->pfn))();
        return;
      }
    }
  }
}

AFX_WNDSTATE* CDialog::FindControl(int nID) const {
  if (nID == IDC_STATIC) return nullptr;
  for (const auto& control : m_controls) {
    if (control->GetID() == nID) return control.get();
  }
  return nullptr;
}

CWnd* CDialog::ItemWindow(AFX_WNDSTATE* pState) const {
  if (pState == nullptr) return nullptr;
  const auto it = std::find_if(m_controls.begin(), m_controls.end(),
                               [pState](const auto& c) { return c.get() == pState; });
  auto& pWnd = m_itemWnds[static_cast<size_t>(it - m_controls.begin())];
  if (pWnd == nullptr) {
    switch (pState->pItem->kind) {
      case DlgControlKind::Edit:
        pWnd = std::make_unique<CEdit>();
        break;
      case DlgControlKind::Button:
        pWnd = std::make_unique<CButton>();
        break;
      case DlgControlKind::ListBox:
        pWnd = std::make_unique<CListBox>();
        break;
      case DlgControlKind::Static:
        pWnd = std::make_unique<CWnd>();
        break;
    }
    pWnd->Attach(pState);
  }
  return pWnd.get();
}

CString CDialog::GetCaption() const {
  return m_self.strText;
}

const std::vector<std::unique_ptr<AFX_WNDSTATE>>& CDialog::GetControls() const {
  return m_controls;
}

int CDialog::GetFocusID() const {
  return m_pFocus != nullptr ? m_pFocus->GetID() : 0;
}

LPCSTR CDialog::UserSetText(int nID, LPCSTR lpszText) {
  AFX_WNDSTATE* pState = FindControl(nID);
  if (pState == nullptr) return "no such control";
  if (!IsEdit(*pState)) return "not an edit control";
  if (!pState->bEnabled) return "the control is disabled";
  if (pState->IsReadOnly()) return "the control is read-only";
  m_pFocus = pState;
  ItemWindow(pState)->SetWindowText(lpszText);
  return nullptr;
}

LPCSTR CDialog::UserClick(int nID) {
  AFX_WNDSTATE* pState = FindControl(nID);
  if (pState == nullptr) return "no such control";
  if (pState->pItem->kind != DlgControlKind::Button) return "not a button";
  if (!pState->bEnabled) return "the button is disabled";
  m_pFocus = pState;
  Notify(*pState, BN_CLICKED);
  return nullptr;
}

LPCSTR CDialog::UserSelect(int nID, int nIndex) {
  AFX_WNDSTATE* pState = FindControl(nID);
  if (pState == nullptr) return "no such control";
  if (pState->pItem->kind != DlgControlKind::ListBox) return "not a list box";
  if (!pState->bEnabled) return "the list box is disabled";
  if (nIndex < 0 || nIndex >= static_cast<int>(pState->items.size())) return "no such item";
  m_pFocus = pState;
  pState->nCurSel = nIndex;
  if ((pState->dwStyle & LBS_NOTIFY) != 0) Notify(*pState, LBN_SELCHANGE);
  return nullptr;
}

LPCSTR CDialog::UserEscape() {
  const AFX_WNDSTATE* pCancel = FindControl(IDCANCEL);
  if (pCancel == nullptr) {
    OnCancel();
  } else if (!pCancel->bEnabled) {
    return "Cancel is disabled";
  } else {
    Notify(*pCancel, BN_CLICKED);
  }
  return nullptr;
}

LPCSTR CDialog::UserEnter() {
  for (const auto& control : m_controls) {
    if (control->pItem->kind == DlgControlKind::Button &&
        (control->dwStyle & 0xF) == BS_DEFPUSHBUTTON) {
      return UserClick(control->GetID());
    }
  }
  return UserClick(IDOK);
}
