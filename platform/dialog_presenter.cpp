// The current presenter and the null presenter.
#include "platform/dialog_presenter.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/afxdlg.h"

namespace {

struct PresenterSlot {
  std::mutex mutex;
  std::shared_ptr<CDialogPresenter> current;
};

// An object, not a leaked one, so that a module that is unloaded takes its presenter with it.
// No static destructor of a module shows a dialog or a box.
PresenterSlot& Slot() {
  static PresenterSlot slot;
  return slot;
}

// The descriptor OMBIX_DIALOGS_REPORT names, -1 when it names none.
int ReportDescriptor() {
  const char* pszValue = std::getenv("OMBIX_DIALOGS_REPORT");
  if (pszValue == nullptr || *pszValue == '\0') return -1;
  char* pEnd = nullptr;
  const long nFd = std::strtol(pszValue, &pEnd, 10);
  return *pEnd == '\0' && nFd >= 0 && nFd <= INT_MAX ? static_cast<int>(nFd) : -1;
}

// NULL for an unknown presenter name or an unreadable script.
std::shared_ptr<CDialogPresenter> FromSpec(LPCSTR pszSpec) {
  const CString spec(pszSpec);
  if (spec.IsEmpty() || spec == "none") return std::make_shared<CNullDialogPresenter>(std::cerr);
  if (spec == "text") return std::make_shared<CTextDialogPresenter>(std::cin, std::cout);
  if (spec.Left(7) == "script:") {
    std::ifstream file(spec.Mid(7).GetString());
    if (!file) return nullptr;
    return std::make_shared<CScriptDialogPresenter>(file, &std::cerr, ReportDescriptor());
  }
  return nullptr;
}

}  // namespace

std::shared_ptr<CDialogPresenter> AfxGetDialogPresenter() {
  PresenterSlot& slot = Slot();
  std::lock_guard lock(slot.mutex);
  if (slot.current == nullptr) {
    const char* pszEnv = std::getenv("OMBIX_DIALOGS");
    slot.current = FromSpec(pszEnv);
    if (slot.current == nullptr) {
      std::cerr << "OMBIX_DIALOGS=" << pszEnv << " is not usable; dialogs are not shown\n";
      slot.current = std::make_shared<CNullDialogPresenter>(std::cerr);
    }
  }
  return slot.current;
}

namespace {

// A host that follows the script (OMBIX_DIALOGS_REPORT set) must learn of the steps left unplayed
// also when no dialog was shown at all: the script is then read when the module loads, and what
// is left of it is reported when the module goes.
const bool g_bScriptReadAtLoad = [] {
  const char* pszSpec = std::getenv("OMBIX_DIALOGS");
  if (ReportDescriptor() < 0 || pszSpec == nullptr || std::strncmp(pszSpec, "script:", 7) != 0) {
    return false;
  }
  AfxGetDialogPresenter();
  return true;
}();

}  // namespace

void AfxSetDialogPresenter(std::shared_ptr<CDialogPresenter> presenter) {
  PresenterSlot& slot = Slot();
  std::lock_guard lock(slot.mutex);
  slot.current = std::move(presenter);
}

BOOL AfxSelectDialogPresenter(LPCSTR pszSpec) {
  std::shared_ptr<CDialogPresenter> presenter = FromSpec(pszSpec);
  if (presenter == nullptr) return FALSE;
  AfxSetDialogPresenter(std::move(presenter));
  return TRUE;
}

int AfxDefaultBoxAnswer(UINT nType) {
  switch (nType & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL:
      return IDOK;
    case MB_YESNO:
    case MB_YESNOCANCEL:
      return IDNO;
    default:
      return IDCANCEL;
  }
}

CNullDialogPresenter::CNullDialogPresenter(std::ostream& err) : m_err(err) {}

void CNullDialogPresenter::RunModal(CDialog& dlg) {
  dlg.EndDialog(-1);
}

int CNullDialogPresenter::MessageBox(LPCSTR pszText, LPCSTR pszCaption, UINT nType) {
  std::lock_guard lock(m_mutex);
  m_err << pszCaption << ": " << pszText << '\n' << std::flush;
  return AfxDefaultBoxAnswer(nType);
}
