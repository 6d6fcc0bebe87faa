// The module's dialog templates and string table, registered when the module loads.
#include <iterator>

#include "platform/winuser.h"
#include "provider/ui/resource.h"

namespace {

constexpr DWORD kDialogStyle = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kAddressEdit = WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP | WS_DISABLED;
constexpr DWORD kLineEdit = WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kPasswordEdit = kLineEdit | ES_PASSWORD;
constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kOKButton = BS_DEFPUSHBUTTON | WS_TABSTOP | WS_DISABLED;
constexpr DWORD kLabel = SS_RIGHT;
constexpr auto kStatic = DlgControlKind::Static;
constexpr auto kEdit = DlgControlKind::Edit;
constexpr auto kBtn = DlgControlKind::Button;

const DLGITEMDEF kProviderConfigItems[] = {
    {IDC_STATIC, kStatic, "Telephony Server IP Address 1:", 9, 12, 102, 11, kLabel},
    {IDC_IP1, kEdit, nullptr, 120, 9, 70, 14, kAddressEdit},
    {IDC_STATIC, kStatic, "Telephony Server IP Address 2:", 8, 26, 103, 11, kLabel},
    {IDC_IP2, kEdit, nullptr, 120, 24, 70, 14, kAddressEdit},
    {IDC_STATIC, kStatic, "Available Lines:", 12, 46, 50, 8, 0},
    {IDC_LINE_LIST, DlgControlKind::ListBox, nullptr, 12, 59, 111, 50,
     LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP},
    {IDC_ADD_LINE, kBtn, "Add...", 136, 58, 50, 14, kButton},
    {IDC_REMOVE_LINE, kBtn, "Remove", 136, 76, 50, 14, kButton},
    {IDC_CONFIGURE_LINE, kBtn, "Configure...", 136, 94, 50, 14, kButton},
    {IDC_STATIC, kStatic, nullptr, 0, 117, 198, 1, SS_ETCHEDHORZ},
    {IDOK, kBtn, "OK", 84, 124, 50, 16, kOKButton},
    {IDCANCEL, kBtn, "Cancel", 136, 124, 50, 16, kButton},
};

const DLGITEMDEF kLineConfigItems[] = {
    {IDC_STATIC, kStatic, "Phone &Number:", 9, 9, 60, 8, kLabel},
    {IDC_NUMBER, kEdit, nullptr, 74, 8, 97, 14, kLineEdit},
    {IDC_STATIC, kStatic, "Phone &Password:", 9, 25, 60, 8, kLabel},
    {IDC_PASSWORD, kEdit, nullptr, 74, 23, 97, 14, kPasswordEdit},
    {IDC_STATIC, kStatic, "&Confirm Password:", 9, 41, 60, 8, kLabel},
    {IDC_CONFIRM, kEdit, nullptr, 74, 38, 97, 14, kPasswordEdit},
    {IDC_STATIC, kStatic, nullptr, 0, 60, 178, 1, SS_ETCHEDHORZ},
    {IDOK, kBtn, "OK", 66, 68, 50, 16, kOKButton},
    {IDCANCEL, kBtn, "Cancel", 121, 68, 50, 16, kButton},
};

const DLGTEMPLATEDEF kProviderConfig = {IDD_PROVIDER_CONFIG,
                                        "VOIP Telephony Service Provider",
                                        199,
                                        149,
                                        kDialogStyle,
                                        0,
                                        "MS Sans Serif",
                                        8,
                                        kProviderConfigItems,
                                        static_cast<int>(std::size(kProviderConfigItems))};

const DLGTEMPLATEDEF kLineConfig = {IDD_LINE_CONFIG,
                                    "Add Line",
                                    178,
                                    91,
                                    kDialogStyle,
                                    0x2000,
                                    "MS Sans Serif",
                                    8,
                                    kLineConfigItems,
                                    static_cast<int>(std::size(kLineConfigItems))};

const DLGTEMPLATEDEF* const kTemplates[] = {&kProviderConfig, &kLineConfig};

const STRINGTABLEENTRY kStrings[] = {
    {IDS_INVALID_IP, "The IP address you entered is invalid."},
    {IDS_ADD_LINE, "Add Line"},
    {IDS_MODIFY_LINE, "Modify Line"},
    {IDS_PASSWORD_MISMATCH,
     "The passwords you typed do not match.  Please re-enter the password confirmation."},
    {IDS_CONFIRM_DELETE, "Do you want to delete Line %s?"},
    {IDS_MODIFY_PASSWORD, "Modify Password"},
    {IDS_ERR_INVALID_PASSWORD,
     "The Phone Password you entered while configuring this Telephony Service Provider is "
     "incorrect.\n\nPlease correct the invalid Phone Password."},
    {IDS_ERR_INVALID_DEVICE,
     "The Phone Number you entered while configuring this Telephony Service Provider is "
     "incorrect.\n\nPlease correct the invalid Phone Number."},
    {IDS_ERR_LOGIN_DENIED,
     "The Telephony Server has denied your login attempt.\n\nPlease contact your System "
     "Administrator."},
    {IDS_ERR_PASSWORD_EXPIRED,
     "Your Phone Password has expired.\n\nPlease contact your System Administrator or select a "
     "new Phone Password.  \n\nOnce you have selected a new Phone Password you must open the "
     "Control Panel and select 'Phone and Modem Options'.\nOn the 'Advanced' tab select the "
     "'VOIP Telephony Service Provider'.   Use this dialog to enter your new Phone Password."},
    {IDS_ERR_ACCOUNT_LOCKED,
     "The Telephony Server has denied your login attempt because your account is locked.\n\n"
     "Please contact your System Administrator."},
    {IDS_ERR_PERMISSION_DENIED,
     "You do not have permission to login to the Telephony Server.\n\n  Please contact your "
     "System Administrator."},
    {IDS_ERR_OUT_OF_SERVICE,
     "The operation you requested cannot be completed because your phone is out of service."},
    {IDS_ERR_INVALID_VERSION,
     "The Telephony Server has denied your login attempt.  You must upgrade to the latest "
     "version of Telephony Service Provider software.\n\nPlease contact your System "
     "Administrator."},
    {IDS_ERR_INTERNAL,
     "The operation you requested cannot be completed because of an internal error. "},
    {IDS_PROVIDER_TITLE, "VOIP Telephony Service Provider"},
    {IDS_LINES_NOT_A_NUMBER,
     "The lines were not changed: the setting \"Lines\" is stored as %s, and it must be a "
     "DWORD.\n\nPlease correct \"Lines\" first."},
};

const CResourceRegistration kRegistration(kTemplates, static_cast<int>(std::size(kTemplates)),
                                          kStrings, static_cast<int>(std::size(kStrings)));

}  // namespace
