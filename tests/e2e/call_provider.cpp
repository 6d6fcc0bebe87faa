// A provider library built on the framework for tsp-host's call scripts: one line with one
// address ("100", "Desk") that answers its call requests itself, as a switch would, at once
// and in order. A request of a type it does not serve completes with LINEERR_OPERATIONUNAVAIL,
// so that no request waits for an answer that never comes.
#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/line_connection.h"
#include "framework/request.h"
#include "framework/request_records.h"
#include "framework/service_provider.h"
#include "platform/afxwin.h"

namespace {

class SwitchLikeLine : public CTSPILineConnection {
  DECLARE_DYNCREATE(SwitchLikeLine)
 public:
  void Init(CTSPIDevice* pDevice, DWORD dwLineDeviceID, DWORD dwPos,
            DWORD_PTR dwItemData) override {
    CTSPILineConnection::Init(pDevice, dwLineDeviceID, dwPos, dwItemData);
    const DWORD dwID = CreateAddress("100", "Desk", TRUE, TRUE, LINEMEDIAMODE_INTERACTIVEVOICE,
                                     LINEBEARERMODE_VOICE, 0, 0, nullptr, 2, 1, 1, 3, 3);
    if (CTSPIAddressInfo* pAddr = GetAddress(dwID)) {
      pAddr->ChangeAddressCaps([](LINEADDRESSCAPS& caps, LINEADDRESSSTATUS&) {
        caps.dwTransferModes = LINETRANSFERMODE_TRANSFER;
        caps.dwParkModes = LINEPARKMODE_NONDIRECTED;
      });
    }
  }

  // Started requests are served outside the line's lock, one at a time.
  BOOL ProcessData(DWORD dwData, LPCVOID lpBuff, DWORD dwSize) override {
    if (dwData != 0 || lpBuff != nullptr || dwSize != 0) return FALSE;
    CTSPIRequestPtr pReq = FetchRequestToStart();
    if (!pReq) return FALSE;
    Serve(pReq.Get());
    return TRUE;
  }

 private:
  void MoveTo(CTSPIRequest* pReq, DWORD dwState, DWORD dwMode = 0) {
    if (CTSPICallAppearance* pCall = pReq->GetCall()) pCall->ChangeCallState(dwState, dwMode);
    CompleteRequest(pReq, 0);
  }

  void Serve(CTSPIRequest* pReq) {
    switch (pReq->GetType()) {
      case REQUEST_LINEMAKECALL:
        pReq->GetCall()->ChangeCallState(LINECALLSTATE_DIALING);
        MoveTo(pReq, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
        return;
      case REQUEST_LINEANSWER:
      case REQUEST_LINEUNHOLD:
      case REQUEST_LINEDIAL:
        MoveTo(pReq, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
        return;
      case REQUEST_LINEHOLD:
        MoveTo(pReq, LINECALLSTATE_ONHOLD);
        return;
      case REQUEST_LINEDROP:
        MoveTo(pReq, LINECALLSTATE_IDLE);
        return;
      case REQUEST_LINESETUPTRANSFER: {
        auto* pRec = dynamic_cast<TSPITRANSFER*>(pReq->GetRecordObject());
        pRec->pCall->ChangeCallState(LINECALLSTATE_ONHOLDPENDTRANSFER);
        pRec->pConsult->ChangeCallState(LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
        CompleteRequest(pReq, 0);
        return;
      }
      case REQUEST_LINECOMPLETETRANSFER: {
        auto* pRec = dynamic_cast<TSPITRANSFER*>(pReq->GetRecordObject());
        CCallRef pCall = pRec->pCall;
        CCallRef pConsult = pRec->pConsult;
        CompleteRequest(pReq, 0);
        pCall->ChangeCallState(LINECALLSTATE_IDLE);
        pConsult->ChangeCallState(LINECALLSTATE_IDLE);
        return;
      }
      default:
        CompleteRequest(pReq, LINEERR_OPERATIONUNAVAIL);
    }
  }
};
IMPLEMENT_DYNCREATE(SwitchLikeLine, CTSPILineConnection)

class CallProvider : public CServiceProvider {
 public:
  CallProvider() : CServiceProvider("CALLS.TSP", "Call Test Provider", 0x00020001) {
    SetObjectClasses(nullptr, nullptr, RUNTIME_CLASS(SwitchLikeLine), nullptr, nullptr, nullptr,
                     nullptr);
  }
  LONG providerEnumDevices(DWORD dwProviderID, LPDWORD lpdwNumLines, LPDWORD lpdwNumPhones,
                           HPROVIDER hProvider, LINEEVENT lpfnLineCreateProc,
                           PHONEEVENT lpfnPhoneCreateProc) override {
    const LONG lResult =
        CServiceProvider::providerEnumDevices(dwProviderID, lpdwNumLines, lpdwNumPhones, hProvider,
                                              lpfnLineCreateProc, lpfnPhoneCreateProc);
    if (lpdwNumLines != nullptr) *lpdwNumLines = 1;
    return lResult;
  }
  BOOL OpenConnection(CTSPIConnection*) override { return TRUE; }
  BOOL CloseConnection(CTSPIConnection*) override { return TRUE; }
};

CallProvider theProvider;
CWinAppModule theModule(theProvider);

}  // namespace
