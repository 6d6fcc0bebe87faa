// A provider double for tsp-host's own test: a few exports that send, in a fixed order, what the
// host must answer or record: a LINE_CREATE, a new call, a call state, a dialog request whose UI
// half talks back through the UI callback, and a completion that nobody asked for. Its open line
// answers status and identifier requests with fixed values, so that their printing is seen. Its
// configuration dialog waits for its user, standard input, until its end: a call that returns
// only when told.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/tspi.h"

namespace {

int g_line;               // the line's handle points here
int g_call;               // the new call's handle
int g_dialog;             // the dialog instance's handle
DWORD g_dialogData = 18;  // what the dialog is asked to show
LINEEVENT g_lpfnLineEvent = nullptr;
ASYNC_COMPLETION g_lpfnCompletion = nullptr;
HTAPILINE g_htLine = nullptr;
HTAPICALL g_htCall = nullptr;

}  // namespace

TSPIAPI LONG TSPI_lineNegotiateTSPIVersion(DWORD, DWORD, DWORD, LPDWORD lpdwTSPIVersion) {
  *lpdwTSPIVersion = 0x00020001;
  return 0;
}

TSPIAPI LONG TSPI_providerEnumDevices(DWORD, LPDWORD lpdwNumLines, LPDWORD lpdwNumPhones,
                                      HPROVIDER hProvider, LINEEVENT lpfnLineCreateProc,
                                      PHONEEVENT lpfnPhoneCreateProc) {
  *lpdwNumLines = 1;
  *lpdwNumPhones = 0;
  lpfnLineCreateProc(nullptr, nullptr, LINE_CREATE, reinterpret_cast<DWORD_PTR>(hProvider), 5, 0);
  lpfnPhoneCreateProc(nullptr, PHONE_CREATE, reinterpret_cast<DWORD_PTR>(hProvider), 6, 0);
  return 0;
}

TSPIAPI LONG TSPI_providerInit(DWORD, DWORD, DWORD, DWORD, DWORD_PTR, DWORD_PTR,
                               ASYNC_COMPLETION lpfnCompletionProc, LPDWORD lpdwTSPIOptions) {
  g_lpfnCompletion = lpfnCompletionProc;
  *lpdwTSPIOptions = 0;
  return 0;
}

TSPIAPI LONG TSPI_providerShutdown(DWORD, DWORD) {
  return 0;
}

TSPIAPI LONG TSPI_lineOpen(DWORD dwDeviceID, HTAPILINE htLine, LPHDRVLINE lphdLine, DWORD,
                           LINEEVENT lpfnEventProc) {
  if (dwDeviceID != 0) return LINEERR_BADDEVICEID;
  *lphdLine = reinterpret_cast<HDRVLINE>(&g_line);
  g_lpfnLineEvent = lpfnEventProc;
  g_htLine = htLine;
  // An offered call: TAPI must hand back its own handle before the call state names it.
  lpfnEventProc(htLine, nullptr, LINE_NEWCALL, reinterpret_cast<DWORD_PTR>(&g_call),
                reinterpret_cast<DWORD_PTR>(&g_htCall), 0);
  lpfnEventProc(htLine, g_htCall, LINE_CALLSTATE, LINECALLSTATE_OFFERING, 0,
                LINEMEDIAMODE_INTERACTIVEVOICE);
  TUISPICREATEDIALOGINSTANCEPARAMS params{};
  params.hdDlgInst = reinterpret_cast<HDRVDIALOGINSTANCE>(&g_dialog);
  params.lpszUIDLLName = u"FAKE.TSP";
  params.lpParams = &g_dialogData;
  params.dwSize = sizeof(g_dialogData);
  lpfnEventProc(htLine, nullptr, LINE_CREATEDIALOGINSTANCE, reinterpret_cast<DWORD_PTR>(&params), 0,
                0);
  if (g_lpfnCompletion != nullptr) g_lpfnCompletion(9, 0);  // no such request
  return 0;
}

TSPIAPI LONG TSPI_lineClose(HDRVLINE hdLine) {
  if (hdLine != reinterpret_cast<HDRVLINE>(&g_line)) return LINEERR_INVALLINEHANDLE;
  g_lpfnLineEvent(g_htLine, g_htCall, LINE_CALLSTATE, LINECALLSTATE_IDLE, 0, 0);
  g_lpfnLineEvent(g_htLine, nullptr, LINE_LINEDEVSTATE, LINEDEVSTATE_CLOSE, 0, 0);
  return 0;
}

// tsp-host's first buffer holds either answer whole; a smaller one is refused.
TSPIAPI LONG TSPI_lineGetLineDevStatus(HDRVLINE hdLine, LPLINEDEVSTATUS lpLineDevStatus) {
  if (hdLine != reinterpret_cast<HDRVLINE>(&g_line)) return LINEERR_INVALLINEHANDLE;
  const DWORD terminalModes[2] = {LINETERMMODE_LAMPS, 0};
  LINEDEVSTATUS status{};
  status.dwTotalSize = lpLineDevStatus->dwTotalSize;
  status.dwNeededSize = status.dwUsedSize = sizeof(LINEDEVSTATUS) + sizeof(terminalModes);
  if (status.dwTotalSize < status.dwNeededSize) return LINEERR_STRUCTURETOOSMALL;
  status.dwNumOpens = 1;
  status.dwOpenMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
  status.dwNumActiveCalls = 1;
  status.dwLineFeatures = LINEFEATURE_MAKECALL | LINEFEATURE_FORWARD;
  status.dwSignalLevel = 0xFFFF;
  status.dwRoamMode = LINEROAMMODE_UNAVAIL;
  status.dwDevStatusFlags = LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE;
  status.dwAvailableMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM;
  status.dwTerminalModesSize = sizeof(terminalModes);
  status.dwTerminalModesOffset = sizeof(LINEDEVSTATUS);
  std::memcpy(lpLineDevStatus, &status, sizeof(status));
  std::memcpy(reinterpret_cast<char*>(lpLineDevStatus) + sizeof(LINEDEVSTATUS), terminalModes,
              sizeof(terminalModes));
  return 0;
}

// "tapi/line": the device ID in binary; "fake/name": a text; anything else is refused.
TSPIAPI LONG TSPI_lineGetID(HDRVLINE hdLine, DWORD, HDRVCALL, DWORD dwSelect,
                            LPVARSTRING lpDeviceID, LPCWSTR lpszDeviceClass, HANDLE) {
  if (dwSelect != LINECALLSELECT_LINE) return LINEERR_INVALCALLSELECT;
  if (hdLine != reinterpret_cast<HDRVLINE>(&g_line)) return LINEERR_INVALLINEHANDLE;
  const std::u16string deviceClass = lpszDeviceClass != nullptr ? lpszDeviceClass : u"";
  const DWORD dwDeviceID = 0;
  const char16_t name[] = u"Fake line";
  const bool bLine = deviceClass == u"tapi/line";
  if (!bLine && deviceClass != u"fake/name") return LINEERR_INVALDEVICECLASS;
  const DWORD dwSize = bLine ? sizeof(dwDeviceID) : sizeof(name);
  if (lpDeviceID->dwTotalSize < sizeof(VARSTRING) + dwSize) return LINEERR_STRUCTURETOOSMALL;
  lpDeviceID->dwNeededSize = lpDeviceID->dwUsedSize = sizeof(VARSTRING) + dwSize;
  lpDeviceID->dwStringFormat = bLine ? STRINGFORMAT_BINARY : STRINGFORMAT_UNICODE;
  lpDeviceID->dwStringSize = dwSize;
  lpDeviceID->dwStringOffset = sizeof(VARSTRING);
  std::memcpy(reinterpret_cast<char*>(lpDeviceID) + sizeof(VARSTRING),
              bLine ? static_cast<const void*>(&dwDeviceID) : name, dwSize);
  return 0;
}

TSPIAPI LONG TSPI_providerGenericDialogData(DWORD_PTR dwObjectID, DWORD dwObjectType,
                                            LPVOID lpParams, DWORD dwSize) {
  if (dwObjectType == TUISPIDLL_OBJECT_DIALOGINSTANCE) {
    // The host must have put the provider's own dialog handle in place of TAPI's.
    return dwObjectID == reinterpret_cast<DWORD_PTR>(&g_dialog) ? 0 : LINEERR_INVALPARAM;
  }
  if (dwObjectType != TUISPIDLL_OBJECT_LINEID || dwSize != 8) return LINEERR_INVALPARAM;
  if (dwObjectID != 0) return LINEERR_BADDEVICEID;
  const DWORD answer[2] = {0xAB110302, 1};
  std::memcpy(lpParams, answer, sizeof(answer));
  return 0;
}

TSPIAPI LONG TUISPI_providerGenericDialog(TUISPIDLLCALLBACK lpfnUIDLLCallback,
                                          HTAPIDIALOGINSTANCE htDlgInst, LPVOID lpParams,
                                          DWORD dwSize, HANDLE) {
  if (dwSize != sizeof(DWORD) || std::memcmp(lpParams, &g_dialogData, dwSize) != 0) {
    return LINEERR_OPERATIONFAILED;
  }
  DWORD query[2] = {0xAB110301, 0};
  const LONG lResult = lpfnUIDLLCallback(0, TUISPIDLL_OBJECT_LINEID, query, sizeof(query));
  DWORD unknown[2] = {0xAB110301, 7};
  lpfnUIDLLCallback(7, TUISPIDLL_OBJECT_LINEID, unknown, sizeof(unknown));
  DWORD data = 1;
  lpfnUIDLLCallback(htDlgInst, TUISPIDLL_OBJECT_DIALOGINSTANCE, &data, sizeof(data));
  return lResult;
}

// Waits in poll, where the thread sanitizer hands signals to the handler at once (not in read).
TSPIAPI LONG TUISPI_providerConfig(TUISPIDLLCALLBACK, HWND, DWORD) {
  char buffer[64];
  for (;;) {
    pollfd input = {STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, -1) < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    const ssize_t nRead = read(STDIN_FILENO, buffer, sizeof buffer);
    if (nRead == 0 || (nRead < 0 && errno != EINTR)) return 0;
  }
}
