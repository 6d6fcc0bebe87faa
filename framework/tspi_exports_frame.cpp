// The frame of the exported functions: string conversion and the look-up of TAPI's handles.
#include <algorithm>
#include <vector>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/conference_call.h"
#include "framework/line_connection.h"
#include "framework/live_calls.h"
#include "framework/service_provider.h"
#include "framework/tspi_exports.h"
#include "platform/win32.h"

namespace {

// Converts exactly cchText units (-1: up to and including the NUL).
CString ConvertWide(LPCWSTR lpszText, int cchText) {
  const int cbNeeded =
      WideCharToMultiByte(CP_ACP, 0, lpszText, cchText, nullptr, 0, nullptr, nullptr);
  if (cbNeeded < 1) return CString();
  std::vector<char> buffer(static_cast<size_t>(cbNeeded) + 1, '\0');
  const int cbDone =
      WideCharToMultiByte(CP_ACP, 0, lpszText, cchText, buffer.data(), cbNeeded, nullptr, nullptr);
  if (cbDone < 1) return CString();
  return CString(buffer.data());  // ends at the first NUL
}

}  // namespace

CLiveObjectSet<CTSPICallAppearance>& GetTSPILiveCalls() {
  static CLiveObjectSet<CTSPICallAppearance> calls;
  return calls;
}

CString WideToAnsiString(LPCWSTR lpszText) {
  if (lpszText == nullptr) return CString();
  return ConvertWide(lpszText, -1);
}

CString WideToAnsiString(LPCWSTR lpszText, size_t cchMax) {
  if (lpszText == nullptr) return CString();
  size_t cchText = 0;
  while (cchText < cchMax && lpszText[cchText] != 0) ++cchText;
  if (cchText == 0) return CString();
  cchText = std::min<size_t>(cchText, 0x7FFFFFFF);
  return ConvertWide(lpszText, static_cast<int>(cchText));
}

CString DeviceClassToAnsi(LPCWSTR lpszDeviceClass) {
  CString strClass = WideToAnsiString(lpszDeviceClass);
  strClass.MakeLower();
  return strClass;
}

CTSPILineConnection* GetLiveLine(CServiceProvider* pSP, HDRVLINE hdLine) {
  if (pSP == nullptr || hdLine == nullptr) return nullptr;
  // The device arrays are the provider's own record of its lines: the handle is compared with
  // them and read only once it is known to be one.
  CTSPILineConnection* pLine = pSP->FindLineByAddress(hdLine);
  if (pLine == nullptr) return nullptr;
  try {
    // A phone's permanent ID has bit 15 set.
    if ((pLine->GetPermanentDeviceID() & 0x8000) != 0) return nullptr;
  } catch (...) {
    return nullptr;
  }
  if ((pLine->GetFlags() & CONNFLAG_REMOVED) != 0) return nullptr;
  return pLine;
}

CCallRef GetLiveCall(HDRVCALL hdCall) {
  // The reference is taken under the set's lock: a call leaves the set before its address lets
  // go of it, so it cannot be freed between the check and the use.
  CCallRef held;
  GetTSPILiveCalls().WithLive(hdCall, [&held](CTSPICallAppearance* pCall) { held = pCall; });
  return held;
}

CTSPIConferenceCall* AsConferenceCall(CTSPICallAppearance* pCall) {
  // Only a call of the conference kind is one.
  return dynamic_cast<CTSPIConferenceCall*>(pCall);
}

CTSPIAddressInfo* GetLineAddress(CTSPILineConnection* pLine, DWORD dwAddressID) {
  return (pLine != nullptr) ? pLine->GetAddress(dwAddressID) : nullptr;
}

CTSPIAddressInfo* GetCallAddress(CTSPICallAppearance* pCall) {
  return (pCall != nullptr) ? pCall->GetAddressOwner() : nullptr;
}

CTSPILineConnection* GetAddressLine(CTSPIAddressInfo* pAddr) {
  return (pAddr != nullptr) ? pAddr->GetLineOwner() : nullptr;
}
