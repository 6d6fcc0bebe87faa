// The module's resource tables and the message box entry point.
#include <cstring>
#include <map>
#include <mutex>

#include "platform/afx_string.h"
#include "platform/dialog_presenter.h"
#include "platform/winuser.h"

namespace {

struct ResourceTables {
  std::mutex mutex;
  std::map<UINT, const DLGTEMPLATEDEF*> templates;
  std::map<UINT, LPCSTR> strings;
};

// Made by the first registration, so it is destroyed after every registration object; an object
// (not a leaked one) so that a module that is unloaded takes its tables with it.
ResourceTables& Tables() {
  static ResourceTables tables;
  return tables;
}

LPCSTR FindString(UINT nID) {
  ResourceTables& t = Tables();
  std::lock_guard lock(t.mutex);
  const auto it = t.strings.find(nID);
  return it == t.strings.end() ? nullptr : it->second;
}

}  // namespace

CResourceRegistration::CResourceRegistration(const DLGTEMPLATEDEF* const* ppTemplates,
                                             int nTemplates, const STRINGTABLEENTRY* pStrings,
                                             int nStrings) {
  for (int i = 0; i < nTemplates; ++i) AfxRegisterDialogTemplate(ppTemplates[i]);
  AfxRegisterStringTable(pStrings, nStrings);
}

void AfxRegisterDialogTemplate(const DLGTEMPLATEDEF* pTemplate) {
  if (pTemplate == nullptr) return;
  ResourceTables& t = Tables();
  std::lock_guard lock(t.mutex);
  t.templates[pTemplate->nID] = pTemplate;
}

void AfxRegisterStringTable(const STRINGTABLEENTRY* pEntries, int nEntries) {
  if (pEntries == nullptr) return;
  ResourceTables& t = Tables();
  std::lock_guard lock(t.mutex);
  for (int i = 0; i < nEntries; ++i) {
    if (pEntries[i].pszText != nullptr) t.strings[pEntries[i].nID] = pEntries[i].pszText;
  }
}

const DLGTEMPLATEDEF* AfxFindDialogTemplate(UINT nID) {
  ResourceTables& t = Tables();
  std::lock_guard lock(t.mutex);
  const auto it = t.templates.find(nID);
  return it == t.templates.end() ? nullptr : it->second;
}

int LoadStringA(HINSTANCE, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  const LPCSTR psz = FindString(uID);
  if (psz == nullptr || lpBuffer == nullptr || cchBufferMax <= 0) return 0;
  const int n = std::min<int>(static_cast<int>(std::strlen(psz)), cchBufferMax - 1);
  std::memcpy(lpBuffer, psz, static_cast<size_t>(n));
  lpBuffer[n] = '\0';
  return n;
}

BOOL CString::LoadString(UINT nID) {
  const LPCSTR psz = FindString(nID);
  if (psz == nullptr) return FALSE;
  *this = psz;
  return TRUE;
}

int MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  return AfxGetDialogPresenter()->MessageBox(lpText != nullptr ? lpText : "",
                                             lpCaption != nullptr ? lpCaption : "Error", uType);
}
