// The telephony service's side of the provider interface: the callbacks tsp-host hands to the
// provider (request completion, line and phone events, the UI library's callback) and what they
// must remember: the requests that await completion, the call handles the host gave out and the
// dialog instances the provider asked for.
//
// Contract:
// - A request ID is recorded (BeginRequest) before the export that may complete it is called,
//   because the completion can come before the export returns; each completion is matched
//   against the recorded IDs, and a stray or repeated one is printed as such.
// - LINE_NEWCALL is answered at once, on the provider's thread, with a new call handle.
// - LINE_CREATEDIALOGINSTANCE is answered at once with a dialog handle; the dialog itself runs
//   later on the main thread (ServeDialogs) through the library's TUISPI_providerGenericDialog,
//   whose UI callback goes to TSPI_providerGenericDialogData.
// - Callbacks only queue their output (output.h).
#pragma once

#include <vector>

#include "platform/tapi.h"
#include "tools/tsp-host/provider_library.h"

namespace tsphost {

class TapiSide {
 public:
  static TapiSide& Get();

  // The exports the callbacks call back into; NULL while no library is loaded.
  void SetExports(const ProviderExports* pExports);

  DRV_REQUESTID BeginRequest();
  // With the export's result: a refused request awaits no completion.
  void EndRequest(DRV_REQUESTID dwRequestID, LONG lResult);
  // Waits up to dwMsecs until no request awaits completion; the IDs that still do.
  std::vector<DRV_REQUESTID> WaitForRequests(DWORD dwMsecs);
  // Prints the queued lines and returns the IDs that await completion, as one step against the
  // completions: each completion's line is printed by this call exactly when its ID is not
  // returned.
  std::vector<DRV_REQUESTID> FlushAndTakePending();

  // TAPI's handle for the line with that device ID.
  static HTAPILINE LineHandle(DWORD dwDeviceID);

  // Calls, by the number the host printed for them: a new number with TAPI's handle for it (for
  // a request that makes a call), the provider's handle once known, and that handle by number
  // (NULL when the number names no call the provider handed over).
  HTAPICALL NewCall(DWORD* pdwCall);
  void SetDriverCall(DWORD dwCall, HDRVCALL hdCall);
  HDRVCALL DriverCall(DWORD dwCall);

  // Runs the dialogs asked for since the last call (main thread).
  void ServeDialogs();

  // The callbacks.
  static void Completion(DRV_REQUESTID dwRequestID, LONG lResult);
  static void LineEvent(HTAPILINE htLine, HTAPICALL htCall, DWORD dwMsg, DWORD_PTR dwParam1,
                        DWORD_PTR dwParam2, DWORD_PTR dwParam3);
  static void PhoneEvent(HTAPIPHONE htPhone, DWORD dwMsg, DWORD_PTR dwParam1, DWORD_PTR dwParam2,
                         DWORD_PTR dwParam3);
  static LONG UICallback(DWORD_PTR dwObjectID, DWORD dwObjectType, LPVOID lpParams, DWORD dwSize);

 private:
  TapiSide() = default;
};

}  // namespace tsphost
