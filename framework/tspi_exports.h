// The frame the exported TSPI_/TUISPI_ functions share (tspi_exports_*.cpp): TAPI's wide strings
// become 8-bit strings, and TAPI's handles and identifiers become the provider's objects.
//
// Contract:
// - A handle is resolved only by finding it among the provider's live objects, never by reading
//   through it: NULL, a freed object or a pointer to anything else is simply not found.
// - Conversions never fail: a NULL or unconvertible text gives an empty string.
// - Each export fetches the provider anew (GetSP()); with no provider object it answers
//   LINEERR_NODRIVER.
// - Each export's body runs inside GuardLineExport (export_guard.h): no C++ exception leaves it.
#pragma once

#include <cstddef>

#include "framework/call_ref.h"
#include "platform/afx_string.h"
#include "platform/tapi.h"

class CServiceProvider;
class CTSPIAddressInfo;
class CTSPICallAppearance;
class CTSPIConferenceCall;
class CTSPILineConnection;

// TSPI_providerGenericDialogData for a permanent provider ID without a device. Not a TAPI code:
// the UI side only tests the result for non-zero.
inline constexpr LONG TSPIERR_UNKNOWNPROVIDER = -1;

// The 8-byte private exchange of the generic dialog data channel.
inline constexpr DWORD TSPI_DLGDATA_PROVIDERID_QUERY = 0xAB110301;
inline constexpr DWORD TSPI_DLGDATA_PROVIDERID_ANSWER = 0xAB110302;
inline constexpr DWORD TSPI_DLGDATA_PERMANENTID_QUERY = 0xAB110303;
inline constexpr DWORD TSPI_DLGDATA_PERMANENTID_ANSWER = 0xAB110304;

// The text in the ANSI code page, ending at its first NUL.
CString WideToAnsiString(LPCWSTR lpszText);
// The same over at most cchMax UTF-16 units (less when a NUL comes first).
CString WideToAnsiString(LPCWSTR lpszText, size_t cchMax);
// A device class, lower-cased so that classes match without regard to case.
CString DeviceClassToAnsi(LPCWSTR lpszDeviceClass);

// The live, not removed line that hdLine names, else NULL (also for a phone's handle).
CTSPILineConnection* GetLiveLine(CServiceProvider* pSP, HDRVLINE hdLine);
inline BOOL IsLineHandleInvalid(CServiceProvider* pSP, HDRVLINE hdLine) {
  return GetLiveLine(pSP, hdLine) == nullptr ? TRUE : FALSE;
}
// The live call that hdCall names, with a reference held for as long as the holder lives (an
// export keeps it until it returns), else NULL.
CCallRef GetLiveCall(HDRVCALL hdCall);
// The call as a conference call, NULL when it is of another kind.
CTSPIConferenceCall* AsConferenceCall(CTSPICallAppearance* pCall);

// The line's address with that ID, else NULL.
CTSPIAddressInfo* GetLineAddress(CTSPILineConnection* pLine, DWORD dwAddressID);
// The address a call is on, and the line an address is on; NULL when unknown.
CTSPIAddressInfo* GetCallAddress(CTSPICallAppearance* pCall);
CTSPILineConnection* GetAddressLine(CTSPIAddressInfo* pAddr);
