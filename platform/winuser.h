// The window-manager subset behind the dialogs: styles, notification codes, message boxes and the
// module's resources (dialog templates and the string table).
//
// Contract:
// - Resources are constant tables registered by the module that owns them (usually through a
//   static CResourceRegistration in the file that defines them). Registration keeps the pointers,
//   so the tables must outlive every use; registering an id again replaces the earlier table.
// - LoadStringA copies at most cchBufferMax - 1 characters and a NUL; it returns the length
//   copied, 0 when the string is unknown. The module handle is not consulted: every module links
//   its own copy of this layer, so the tables registered here are that module's own.
// - MessageBoxA is answered by the current dialog presenter (platform/dialog_presenter.h); the
//   owner window is not used. It returns IDOK, IDCANCEL, IDYES or IDNO.
// Thread-safe: registration and look-ups may happen on any thread.
#pragma once

#include "platform/wintypes.h"

// Message boxes (button sets and icons) and the results of boxes and dialogs.
inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_OKCANCEL = 0x00000001;
inline constexpr UINT MB_YESNOCANCEL = 0x00000003;
inline constexpr UINT MB_YESNO = 0x00000004;
inline constexpr UINT MB_TYPEMASK = 0x0000000F;
inline constexpr UINT MB_ICONHAND = 0x00000010;
inline constexpr UINT MB_ICONERROR = MB_ICONHAND;
inline constexpr UINT MB_ICONSTOP = MB_ICONHAND;
inline constexpr UINT MB_ICONQUESTION = 0x00000020;
inline constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
inline constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
inline constexpr UINT MB_ICONASTERISK = 0x00000040;
inline constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
inline constexpr UINT MB_ICONMASK = 0x000000F0;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Window, dialog and control styles.
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_DISABLED = 0x08000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD WS_VSCROLL = 0x00200000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_TABSTOP = 0x00010000;
inline constexpr DWORD DS_SETFONT = 0x00000040;
inline constexpr DWORD DS_MODALFRAME = 0x00000080;
inline constexpr DWORD ES_PASSWORD = 0x00000020;
inline constexpr DWORD ES_AUTOHSCROLL = 0x00000080;
inline constexpr DWORD ES_READONLY = 0x00000800;
inline constexpr DWORD SS_RIGHT = 0x00000002;
inline constexpr DWORD SS_ETCHEDHORZ = 0x00000010;
inline constexpr DWORD BS_PUSHBUTTON = 0x00000000;
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x00000001;
inline constexpr DWORD LBS_NOTIFY = 0x00000001;
inline constexpr DWORD LBS_NOINTEGRALHEIGHT = 0x00000100;

// Notification codes carried with WM_COMMAND.
inline constexpr UINT BN_CLICKED = 0;
inline constexpr UINT LBN_SELCHANGE = 1;
inline constexpr UINT EN_CHANGE = 0x0300;
inline constexpr int LB_ERR = -1;

// The control of a template item; the id -1 (IDC_STATIC) marks a control nobody addresses.
enum class DlgControlKind { Static, Edit, Button, ListBox };
inline constexpr int IDC_STATIC = -1;

struct DLGITEMDEF {
  int nID;
  DlgControlKind kind;
  LPCSTR pszText;  // NULL for none
  short x, y, cx, cy;
  DWORD dwStyle;  // WS_CHILD | WS_VISIBLE are implied
};

struct DLGTEMPLATEDEF {
  UINT nID;
  LPCSTR pszCaption;
  short cx, cy;
  DWORD dwStyle;
  DWORD dwExStyle;
  LPCSTR pszFont;
  WORD wPointSize;
  const DLGITEMDEF* pItems;
  int nItems;
};

struct STRINGTABLEENTRY {
  UINT nID;
  LPCSTR pszText;
};

// A module's resources, registered at construction (for use as a static object).
class CResourceRegistration {
 public:
  CResourceRegistration(const DLGTEMPLATEDEF* const* ppTemplates, int nTemplates,
                        const STRINGTABLEENTRY* pStrings, int nStrings);
  CResourceRegistration(const CResourceRegistration&) = delete;
  CResourceRegistration& operator=(const CResourceRegistration&) = delete;
};

void AfxRegisterDialogTemplate(const DLGTEMPLATEDEF* pTemplate);
void AfxRegisterStringTable(const STRINGTABLEENTRY* pEntries, int nEntries);
// NULL when no template has that id.
const DLGTEMPLATEDEF* AfxFindDialogTemplate(UINT nID);

int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);
int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
