// The switch line's call control without a switch: call-connection events built here drive the
// calls, responses built here complete the requests. The line is in service but its device never
// connects, so what it sends goes nowhere; only its notes of what it sent count.

#include "framework/request_records.h"
#include "switchapi/ombix_values.h"
#include "tests/provider/line_scenario.h"

namespace prov_test {
namespace {

constexpr LONG kPending = 1;  // no completion yet (a result is 0 or an error)

class CallLine : public COmbixLine {
  DECLARE_DYNCREATE(CallLine)
 public:
  // A make-call's hold wait does not pass within a test unless the test shortens it: the timer
  // thread must not send the make-call before the hold's answer the test gives.
  CallLine() { SetHoldWait(600000); }
  using COmbixLine::SetHoldWait;
  void StoreLineError(DWORD dwError) { m_dwLineError.store(dwError); }
};
IMPLEMENT_DYNCREATE(CallLine, COmbixLine)

struct Party {
  LONG lState;
  const char* pszNumber = "";
  const char* pszName = "";
  DWORD dwType = DEVICE_TYPE_PHONE;
};

std::unique_ptr<COmbixCallConnectionEvent> Event(DWORD dwEvent, DWORD dwCall,
                                                 std::vector<Party> parties, DWORD dwCause = 0,
                                                 DWORD dwRelated = 0,
                                                 const char* pszDevice = "200") {
  auto pEvent = std::make_unique<COmbixCallConnectionEvent>(OMBIX_CALL_CONNECTION_EVENT);
  snprintf(pEvent->strDevice, sizeof(pEvent->strDevice), "%s", pszDevice);
  pEvent->oidCall = IdOfCall(dwCall);
  pEvent->dwEvent = dwEvent;
  pEvent->dwEventCause = dwCause;
  if (dwRelated != 0) pEvent->oidRelated = IdOfCall(dwRelated);
  pEvent->dwConnectionCount = static_cast<DWORD>(parties.size());
  pEvent->pConnections = std::make_unique<COmbixConnection[]>(parties.size());
  for (size_t i = 0; i < parties.size(); ++i) {
    COmbixConnection& conn = pEvent->pConnections[i];
    conn.dwState = parties[i].lState;
    conn.dwDeviceType = parties[i].dwType;
    snprintf(conn.strNumber, sizeof(conn.strNumber), "%s", parties[i].pszNumber);
    snprintf(conn.strName, sizeof(conn.strName), "%s", parties[i].pszName);
  }
  return pEvent;
}

class LineCallsTest : public ProviderTest {
 protected:
  void SetUp() override {
    ProviderTest::SetUp();
    scenario::Tapi::Reset();  // request IDs repeat from test to test
    // The product exports every call-control function it serves.
    provider.DetectExportedFunctions(
        [](LPCSTR) { return reinterpret_cast<FARPROC>(&scenario::Tapi::Completion); });
    CallLine* pLines[1] = {};
    StartLines(pLines, RUNTIME_CLASS(COmbixDevice), RUNTIME_CLASS(CallLine), true,
               &scenario::Tapi::Completion);
    line = pLines[0];
    line->SetInService();
    addr = line->GetAddress(0);
    ASSERT_NE(addr, nullptr);
  }
  // The request's result as TAPI's callback heard it (recorded as the scenarios record it).
  static LONG Of(DRV_REQUESTID id) {
    LONG lResult = kPending;
    scenario::Tapi::Result(id, lResult);
    return lResult;
  }
  // The call the switch knows by that number, held by the address (no reference kept).
  CTSPICallAppearance* Call(DWORD dwNumber) {
    CTSPICallAppearance* pCall = line->FindCallById(IdOfCall(dwNumber));
    if (pCall != nullptr) pCall->Release();
    return pCall;
  }
  void Send(const std::unique_ptr<COmbixCallConnectionEvent>& pEvent) {
    line->OnCallConnectionEvent(pEvent.get());
  }
  // A connected call with that number.
  CTSPICallAppearance* Connected(DWORD dwNumber) {
    Send(Event(CALL_CONNECTION_ESTABLISHED, dwNumber,
               {{CS_CONNECTED, "200"}, {CS_CONNECTED, "201"}}));
    return Call(dwNumber);
  }
  // A response as the device hands it to the line.
  void Answer(DWORD dwType, DWORD dwError = 0) {
    COmbixRsp rsp(dwType);
    rsp.dwInvokeID = line->GetDeviceID();
    rsp.dwError = dwError;
    if (dwType == OMBIX_HOLD_CALL_RSP) {
      line->OnHoldCallRsp(&rsp);
    } else {
      line->OnResponse(&rsp);
    }
  }
  LONG MakeCall(DRV_REQUESTID id, CTSPICallAppearance** ppCall) {
    auto* pMake = new TSPIMAKECALL;
    auto* pInfo = new DIALINFO;
    pInfo->strNumber = "202";
    pMake->arrAddresses.Add(pInfo);
    const LONG lResult = line->MakeCall(id, reinterpret_cast<HTAPICALL>(0x77), ppCall, pMake);
    if (lResult != static_cast<LONG>(id)) delete pMake;
    return lResult;
  }

  CallLine* line = nullptr;
  CTSPIAddressInfo* addr = nullptr;
};

TEST(LineMapping, SwitchCodesBecomeTapiResults) {
  const struct {
    LONG lResult;
    std::vector<DWORD> codes;
  } rows[] = {
      {0, {0}},
      {LINEERR_INVALPASSWORD, {OMBIX_ERROR_INVALID_PASSWORD}},
      {LINEERR_INVALCALLHANDLE, {OMBIX_ERROR_INVALID_CALL}},
      {LINEERR_INVALCALLSTATE,
       {OMBIX_ERROR_INVALID_STATE, OMBIX_ERROR_RESOURCE_BUSY, OMBIX_ERROR_NO_DIALTONE}},
      {LINEERR_INVALPARAM,
       {OMBIX_ERROR_INVALID_QUEUE, OMBIX_ERROR_INVALID_AGENT, OMBIX_ERROR_INVALID_ADDRESS,
        OMBIX_ERROR_INVALID_PARAMETER, OMBIX_ERROR_INVALID_NUMBER}},
      {LINEERR_OPERATIONUNAVAIL,
       {OMBIX_ERROR_PERMISSION_DENIED, OMBIX_ERROR_CONFERENCE_FAILURE, OMBIX_ERROR_NOT_SUPPORTED,
        OMBIX_ERROR_FEATURE_NOT_ENABLED}},
      {LINEERR_CALLUNAVAIL,
       {OMBIX_ERROR_OUT_OF_SERVICE, OMBIX_ERROR_NO_CALL_TO_ANSWER, OMBIX_ERROR_NO_CALL_TO_PICKUP,
        OMBIX_ERROR_CREATE_CALL_FAILED}},
      {LINEERR_OPERATIONFAILED, {OMBIX_ERROR_INVALID_DEVICE, OMBIX_ERROR_DUPLICATE_MONITOR, 99}},
  };
  for (const auto& row : rows) {
    for (DWORD dwCode : row.codes) {
      EXPECT_EQ(COmbixLine::MapError(dwCode), row.lResult) << "code " << dwCode;
    }
  }
}

TEST(LineMapping, CallParameterFlagsBecomeCallOptions) {
  const struct {
    DWORD dwFlags;
    DWORD dwOptions;
  } rows[] = {{0, 1},
              {LINECALLPARAMFLAGS_BLOCKID, 9},
              {LINECALLPARAMFLAGS_DESTOFFHOOK, 5},
              {LINECALLPARAMFLAGS_BLOCKID | LINECALLPARAMFLAGS_DESTOFFHOOK, 13},
              {LINECALLPARAMFLAGS_SECURE | LINECALLPARAMFLAGS_ORIGOFFHOOK, 1}};
  for (const auto& row : rows) {
    LINECALLPARAMS params{};
    params.dwCallParamFlags = row.dwFlags;
    EXPECT_EQ(COmbixLine::CallOptionsFromParams(&params), row.dwOptions) << row.dwFlags;
  }
  EXPECT_EQ(COmbixLine::CallOptionsFromParams(nullptr), 1u);
}

TEST_F(LineCallsTest, OwnConnectionStateGivesTheCallState) {
  const struct {
    DWORD dwEvent;
    LONG lState;
    DWORD dwCause;
    DWORD dwCallState;
    DWORD dwMode;
  } rows[] = {
      {CALL_CONNECTION_IDLED, CS_IDLE, 0, LINECALLSTATE_IDLE, 0},
      {CALL_CONNECTION_IDLED, CS_IDLE, EC_CONFERENCE, LINECALLSTATE_UNKNOWN, 0},
      {CALL_CONNECTION_INITIATED, CS_DIALING, 0, LINECALLSTATE_DIALING, 0},
      {CALL_CONNECTION_FAILED, CS_DIALING, EC_BUSY, LINECALLSTATE_BUSY, 0},
      {CALL_CONNECTION_FAILED, CS_DIALING, EC_OUT_OF_SERVICE, LINECALLSTATE_SPECIALINFO,
       LINESPECIALINFO_REORDER},
      {CALL_CONNECTION_ALERTING, CS_ALERTING, 0, LINECALLSTATE_OFFERING, 0},
      {CALL_CONNECTION_ATTEMPTING, CS_ATTEMPTING, 0, LINECALLSTATE_RINGBACK, 0},
      {CALL_CONNECTION_ESTABLISHED, CS_CONNECTED, 0, LINECALLSTATE_CONNECTED, 0},
      {CALL_CONNECTION_QUEUED, CS_QUEUED, 0, LINECALLSTATE_CONNECTED, 0},
      {CALL_CONNECTION_HELD, CS_HELD, 0, LINECALLSTATE_ONHOLD, 0},
      {CALL_CONNECTION_FAILED, CS_FAILED, 0, LINECALLSTATE_SPECIALINFO, LINESPECIALINFO_REORDER},
      {CALL_CONNECTION_PASSIVE, CS_PASSIVE, 0, LINECALLSTATE_UNKNOWN, 0},
      {CALL_CONNECTION_IDLED, CS_REMOTE_IDLE, 0, LINECALLSTATE_UNKNOWN, 0},
  };
  DWORD dwNumber = 100;
  for (const auto& row : rows) {
    ++dwNumber;
    // Each row starts from a connected call, so that IDLE is not the first state.
    ASSERT_NE(Connected(dwNumber), nullptr);
    // A reference of our own: an idle call leaves the address.
    CTSPICallAppearance* pCall = line->FindCallById(IdOfCall(dwNumber));
    Send(Event(row.dwEvent, dwNumber, {{row.lState, "200"}, {CS_CONNECTED, "300"}}, row.dwCause));
    EXPECT_EQ(pCall->GetCallState(), row.dwCallState) << "row " << dwNumber;
    EXPECT_EQ(pCall->GetCallStateMode(), row.dwMode) << "row " << dwNumber;
    pCall->Release();
  }
}

TEST_F(LineCallsTest, IncomingCallIsCreatedWithItsPartiesAndRings) {
  Send(Event(CALL_CONNECTION_ALERTING, 0x1F4,
             {{CS_ALERTING, "200", "Desk"}, {CS_CONNECTED, "201", "Bob", DEVICE_TYPE_INTERNAL}}));
  CTSPICallAppearance* pCall = Call(0x1F4);
  ASSERT_NE(pCall, nullptr);
  const LINECALLINFO info = pCall->GetCallInfoCopy();
  EXPECT_EQ(info.dwOrigin, static_cast<DWORD>(LINECALLORIGIN_INTERNAL));
  EXPECT_EQ(pCall->GetCallID(), 500u);
  EXPECT_EQ(pCall->GetCallerIDInfo().strPartyId, CString("201"));
  EXPECT_EQ(pCall->GetCallerIDInfo().strPartyName, CString("Bob"));
  EXPECT_EQ(pCall->GetCalledIDInfo().strPartyId, CString("200"));
  EXPECT_EQ(pCall->GetCallState(), static_cast<DWORD>(LINECALLSTATE_OFFERING));
  EXPECT_EQ(pCall->GetCallFeatures() & LINECALLFEATURE_DROP, 0u);  // ringing: no drop from here
  EXPECT_EQ(line->GetAlertingCallNumber(), 0x1F4u);

  // Answered: it becomes the active call and can be dropped.
  Send(Event(CALL_CONNECTION_ESTABLISHED, 0x1F4, {{CS_CONNECTED, "200"}, {CS_CONNECTED, "201"}}));
  EXPECT_EQ(line->GetActiveCallNumber(), 0x1F4u);
  EXPECT_EQ(line->GetAlertingCallNumber(), 0u);
  EXPECT_NE(pCall->GetCallFeatures() & LINECALLFEATURE_DROP, 0u);

  // An outside caller, and a caller of no known kind.
  Send(Event(CALL_CONNECTION_ALERTING, 601,
             {{CS_ALERTING, "200"}, {CS_CONNECTED, "0815", "", DEVICE_TYPE_EXTERNAL}}));
  Send(Event(CALL_CONNECTION_ALERTING, 602, {{CS_ALERTING, "200"}}));
  EXPECT_EQ(Call(601)->GetCallInfoCopy().dwOrigin, static_cast<DWORD>(LINECALLORIGIN_EXTERNAL));
  EXPECT_EQ(Call(602)->GetCallInfoCopy().dwOrigin, static_cast<DWORD>(LINECALLORIGIN_INBOUND));
}

TEST_F(LineCallsTest, CallWithoutIdAdoptsOnlyAnEventThatFitsIt) {
  // A call that a TAPI request created, not yet known to the switch.
  CTSPICallAppearance* pMade =
      addr->FindOrCreateCall(reinterpret_cast<HTAPICALL>(0x55), 0, LINECALLORIGIN_UNKNOWN,
                             LINECALLREASON_UNKNOWN, 0xFFFFFFFF, 0);
  ASSERT_NE(pMade, nullptr);

  // An incoming call meanwhile is a call of its own.
  Send(Event(CALL_CONNECTION_ALERTING, 700, {{CS_ALERTING, "200"}, {CS_CONNECTED, "201"}}));
  ASSERT_NE(Call(700), nullptr);
  EXPECT_NE(Call(700), pMade);
  EXPECT_EQ(OmbixCallId(pMade), ObjectId{});

  // The switch's first word of the outgoing call is taken by the call that waits for it.
  Send(Event(CALL_CONNECTION_INITIATED, 701, {{CS_DIALING, "200", "Desk"}}));
  EXPECT_EQ(Call(701), pMade);
  EXPECT_EQ(pMade->GetCallInfoCopy().dwOrigin, static_cast<DWORD>(LINECALLORIGIN_OUTBOUND));
  EXPECT_EQ(pMade->GetCallState(), static_cast<DWORD>(LINECALLSTATE_DIALING));
  EXPECT_EQ(pMade->GetCallerIDInfo().strPartyId, CString("200"));
  EXPECT_EQ(line->GetActiveCallNumber(), 701u);

  Send(Event(CALL_CONNECTION_ATTEMPTING, 701, {{CS_ATTEMPTING, "200"}, {CS_ALERTING, "202"}}));
  EXPECT_EQ(pMade->GetCalledIDInfo().strPartyId, CString("202"));
  EXPECT_EQ(addr->GetCallCount(), 2);
}

TEST_F(LineCallsTest, HeldRelatedCallAwaitsTransferAndConferencedEventsApplyToCallOrConference) {
  CTSPICallAppearance* pFirst = Connected(800);
  ASSERT_NE(pFirst, nullptr);
  Send(Event(CALL_CONNECTION_HELD, 800, {{CS_HELD, "200"}, {CS_CONNECTED, "201"}}));
  EXPECT_EQ(line->GetHeldCallNumber(), 800u);
  EXPECT_EQ(line->GetActiveCallNumber(), 0u);
  EXPECT_EQ(pFirst->GetCallFeatures() & LINECALLFEATURE_DROP, 0u);

  // A consultation call related to the held one.
  Send(Event(CALL_CONNECTION_INITIATED, 801, {{CS_DIALING, "200"}}, 0, 800));
  CTSPICallAppearance* pConsult = Call(801);
  ASSERT_NE(pConsult, nullptr);
  EXPECT_EQ(pFirst->GetCallState(), static_cast<DWORD>(LINECALLSTATE_ONHOLDPENDTRANSFER));
  EXPECT_EQ(pFirst->GetRelatedCall(), pConsult);

  // The switch calls the consultation call a conference; we know it as an ordinary call. The
  // related call is conferenced and the event's own state and numbers still apply.
  Send(Event(CALL_CONNECTION_CONFERENCED, 801, {{CS_CONNECTED, "200"}, {CS_CONNECTED, "202"}}, 0,
             800));
  EXPECT_EQ(pFirst->GetCallState(), static_cast<DWORD>(LINECALLSTATE_CONFERENCED));
  EXPECT_EQ(pConsult->GetCallState(), static_cast<DWORD>(LINECALLSTATE_CONNECTED));
  EXPECT_EQ(line->GetActiveCallNumber(), 801u);

  Send(Event(CALL_CONNECTION_IDLED, 801, {{CS_IDLE, "200"}}));
  EXPECT_EQ(line->GetActiveCallNumber(), 0u);

  // A conferenced event for a call the line does not know makes a conference of it.
  pFirst = Connected(900);
  ASSERT_NE(pFirst, nullptr);
  Send(Event(CALL_CONNECTION_CONFERENCED, 901,
             {{CS_CONNECTED, "200"}, {CS_CONNECTED, "201"}, {CS_CONNECTED, "202"}}, 0, 900));
  CTSPIConferenceCall* pConf = line->FindConfCallById(IdOfCall(901));
  ASSERT_NE(pConf, nullptr);
  EXPECT_TRUE(pConf->IsConferenceMember(pFirst));
  EXPECT_EQ(pFirst->GetCallState(), static_cast<DWORD>(LINECALLSTATE_CONFERENCED));
  EXPECT_EQ(pConf->GetCallState(), static_cast<DWORD>(LINECALLSTATE_CONNECTED));
  EXPECT_EQ(pConf->GetCallInfoCopy().dwOrigin, static_cast<DWORD>(LINECALLORIGIN_CONFERENCE));
  pConf->Release();
}

TEST_F(LineCallsTest, ResponseCompletesTheRequestItsMessageWasSentFor) {
  CTSPICallAppearance* pActive = Connected(1000);
  ASSERT_NE(pActive, nullptr);
  // A make-call while a call is active holds that call first; a lineHold waits behind it.
  CTSPICallAppearance* pNew = nullptr;
  ASSERT_EQ(MakeCall(1, &pNew), 1);
  ASSERT_NE(pNew, nullptr);
  ASSERT_EQ(pActive->Hold(2), 2);

  // The answer to the line's own hold moves the make-call on and completes no lineHold.
  Answer(OMBIX_HOLD_CALL_RSP);
  EXPECT_EQ(Of(2), kPending);
  EXPECT_EQ(Of(1), kPending);

  // The make-call is with the switch now; its answer completes it, then the lineHold goes out.
  Answer(OMBIX_MAKE_CALL_RSP);
  EXPECT_EQ(Of(1), 0);
  EXPECT_EQ(Of(2), kPending);
  Answer(OMBIX_HOLD_CALL_RSP, OMBIX_ERROR_INVALID_STATE);
  EXPECT_EQ(Of(2), LINEERR_INVALCALLSTATE);
  // A refused hold is the hold's own answer: the line stays usable.
  EXPECT_EQ(line->GetLineError(), 0u);

  // An answer nobody waits for is dropped.
  Answer(OMBIX_RETRIEVE_CALL_RSP);
  EXPECT_EQ(line->GetRequestCount(), 0);
}

TEST_F(LineCallsTest, RefusedHoldEndsTheMakeCallAndUnansweredHoldSendsItAnyway) {
  ASSERT_NE(Connected(1100), nullptr);
  CTSPICallAppearance* pNew = nullptr;
  ASSERT_EQ(MakeCall(11, &pNew), 11);
  Answer(OMBIX_HOLD_CALL_RSP, OMBIX_ERROR_INVALID_STATE);
  EXPECT_EQ(Of(11), LINEERR_INVALCALLSTATE);
  EXPECT_EQ(line->GetRequestCount(), 0);

  // No answer to the hold: the timer thread sends the make-call once the wait has passed.
  line->SetHoldWait(0);
  provider.SetTimerTick(10);
  ASSERT_EQ(MakeCall(12, &pNew), 12);
  ASSERT_TRUE(WaitUntil([&] {
    CTSPIRequestPtr pReq = line->GetRequest(0);
    return pReq && pReq->GetState() == STATE_STARTED;
  }));
  // The late hold answer is the line's own and leaves the make-call waiting for its answer.
  Answer(OMBIX_HOLD_CALL_RSP);
  EXPECT_EQ(Of(12), kPending);
  // The timer thread notes the make-call's message a moment after it marks the request started;
  // an answer before that is one nobody waits for and is dropped, so it is given until it lands.
  ASSERT_TRUE(WaitUntil([&] {
    Answer(OMBIX_MAKE_CALL_RSP, OMBIX_ERROR_CREATE_CALL_FAILED);
    return Of(12) != kPending;
  }));
  EXPECT_EQ(Of(12), LINEERR_CALLUNAVAIL);
}

TEST_F(LineCallsTest, FailureCompletesTheOldestStartedRequestAndLostLinkFailsTheRest) {
  CTSPICallAppearance* pCall = Connected(1200);
  ASSERT_NE(pCall, nullptr);
  ASSERT_EQ(pCall->Hold(21), 21);
  Answer(OMBIX_FAILURE_RSP, OMBIX_ERROR_INVALID_NUMBER);
  EXPECT_EQ(Of(21), LINEERR_INVALPARAM);

  // Started requests cannot be answered once the link is gone; later ones are refused.
  ASSERT_EQ(pCall->Hold(22), 22);
  ASSERT_EQ(pCall->Hold(23), 23);  // waits unstarted behind the first
  line->SetOutOfService(TRUE);
  EXPECT_EQ(Of(22), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(Of(23), LINEERR_INVALLINESTATE);
  EXPECT_EQ(line->GetRequestCount(), 0);
  CTSPICallAppearance* pNew = nullptr;
  EXPECT_EQ(MakeCall(24, &pNew), LINEERR_INVALLINESTATE);
  ASSERT_EQ(pCall->Hold(25), 25);
  EXPECT_EQ(Of(25), LINEERR_INVALLINESTATE);
}

TEST_F(LineCallsTest, ForwardOfOnlyDoNotDisturbEndsWithItsAnswer) {
  LINEFORWARDLIST list{};
  list.dwTotalSize = sizeof(list);
  list.dwNumEntries = 1;
  list.ForwardList[0].dwForwardMode = LINEFORWARDMODE_UNCOND;  // no destination
  ASSERT_EQ(provider.lineForward(line, nullptr, 31, &list, 0, nullptr, nullptr, nullptr), 31);
  EXPECT_EQ(Of(31), kPending);
  Answer(OMBIX_SET_DO_NOT_DISTURB_RSP, OMBIX_ERROR_FEATURE_NOT_ENABLED);
  EXPECT_EQ(Of(31), LINEERR_OPERATIONUNAVAIL);
}

TEST_F(LineCallsTest, StoredLineErrorRefusesEveryRequest) {
  CTSPICallAppearance* pCall = Connected(1300);
  ASSERT_NE(pCall, nullptr);
  line->StoreLineError(OMBIX_ERROR_INVALID_PASSWORD);
  CTSPICallAppearance* pNew = nullptr;
  EXPECT_EQ(MakeCall(41, &pNew), LINEERR_INVALLINESTATE);
  EXPECT_EQ(pNew, nullptr);
  ASSERT_EQ(pCall->Hold(42), 42);
  EXPECT_EQ(Of(42), LINEERR_INVALLINESTATE);
  EXPECT_EQ(line->GetRequestCount(), 0);
}

}  // namespace
}  // namespace prov_test
