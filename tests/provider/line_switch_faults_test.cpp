// The switch line against a switch that misbehaves as real ones do: it answers a message of the
// line's own with OMBIX_FAILURE_RSP while a request waits, repeats an event or sends a late one,
// ends a call while the link is down, lists a conference by its own id after a re-login, names
// a call that has no part in a conference, and reports a consultation call idle before it
// confirms the transfer (fixture in line_scenario.h).

#include "tests/provider/line_scenario.h"

namespace prov_test {
namespace scenario {
namespace {

class LineSwitchFaultsTest : public LineScenarioTest {
 protected:
  // Returns once every datagram the switch sent before has been handled: the line's message
  // waiting flag follows a command given after them, on the same link.
  void Settle() {
    bMsgWait = !bMsgWait;
    ASSERT_EQ(sim->Command(bMsgWait ? "messages 200 1" : "messages 200 0"), "ok");
    ASSERT_TRUE(WaitUntil([&] {
      const bool bSet =
          (lines[0]->GetLineDevStatus().dwDevStatusFlags & LINEDEVSTATUSFLAGS_MSGWAIT) != 0;
      return bSet == bMsgWait;
    }));
  }
  size_t Received(DWORD dwType) { return sim->ReceivedOfType(dwType).size(); }
  // Once the switch has received n requests of the type.
  void WaitReceived(DWORD dwType, size_t n) {
    ASSERT_TRUE(WaitUntil([&] { return Received(dwType) >= n; }));
  }
  bool Completed(DRV_REQUESTID id) {
    LONG lResult = 0;
    return Tapi::Result(id, lResult);
  }
  LONG ResultOf(DRV_REQUESTID id) {
    LONG lResult = -1;
    EXPECT_TRUE(WaitUntil([&] { return Tapi::Result(id, lResult); })) << "never completed";
    return lResult;
  }
  // The link drops; the lines come back in service with the reconnect still to be acted on.
  void DropLink() {
    const DWORD dwLogins = sim->Counters().dwLogins;
    ASSERT_EQ(Sim("disconnect"), kNone);
    ASSERT_TRUE(WaitUntil([&] {
      return sim->Counters().dwLogins > dwLogins && !lines[0]->IsOutOfService() &&
             !lines[1]->IsOutOfService();
    }));
  }
  // The request waits for its answer, held back by the switch, when the switch refuses the query
  // `pszQuery` it held back before: the refusal must leave the request waiting for its own answer.
  void RefusedQueryLeavesTheRequest(const char* pszQuery, const char* pszRequest, DWORD dwRequest,
                                    const std::function<LONG(DRV_REQUESTID)>& request) {
    Sim(std::string("defer ") + pszRequest);
    const DRV_REQUESTID id = Id();
    ASSERT_EQ(request(id), static_cast<LONG>(id));
    WaitReceived(dwRequest, 1);
    Sim(std::string("release ") + pszQuery);
    Settle();
    EXPECT_FALSE(Completed(id));
    Sim("release");
    EXPECT_EQ(ResultOf(id), 0);
  }

  // A make-call of line 200 to 201 whose answer the switch holds back; returns once the switch
  // has its `n`th make-call.
  DRV_REQUESTID HeldBackMakeCall(size_t n) {
    Sim("defer MAKE_CALL_REQ");
    const DRV_REQUESTID id = Id();
    EXPECT_EQ(provider.lineMakeCall(lines[0], id, NewHandle(), &hd, "201", 0, nullptr),
              static_cast<LONG>(id));
    WaitReceived(OMBIX_MAKE_CALL_REQ, n);
    return id;
  }
  // That make-call, still waiting and not idle, is answered and becomes line 200's second call.
  void ReleaseMakeCall(DRV_REQUESTID id) {
    auto* pMade = reinterpret_cast<CTSPICallAppearance*>(hd);
    EXPECT_NE(pMade->GetCallState(), static_cast<DWORD>(LINECALLSTATE_IDLE));
    EXPECT_FALSE(Completed(id));
    Sim("release");
    EXPECT_EQ(ResultOf(id), 0);
    Run({Reach("the new call rings", {{0, 2, LINECALLSTATE_RINGBACK}})});
    EXPECT_EQ(C(0, 2), pMade);
  }

  bool bMsgWait = false;
};

TEST_F(LineSwitchFaultsTest, FailureOfTheLinesOwnMessageLeavesTheWaitingRequestAlone) {
  Run(Connect200To201());
  // The switch answers in order: it refuses the query the line sent on a phone-state event
  // while lineHold, sent after it, still waits.
  Sim("reply GET_CALL_FORWARDING_REQ fail=21");
  Sim("defer GET_CALL_FORWARDING_REQ");
  size_t nQueries = Received(OMBIX_GET_CALL_FORWARDING_REQ);
  Sim("forward 200 busy 301");
  WaitReceived(OMBIX_GET_CALL_FORWARDING_REQ, nQueries + 1);
  RefusedQueryLeavesTheRequest("GET_CALL_FORWARDING_REQ", "HOLD_CALL_REQ", OMBIX_HOLD_CALL_REQ,
                               [&](DRV_REQUESTID id) { return provider.lineHold(C(0, 1), id); });
  Run({Reach("the hold is done", {{0, 1, LINECALLSTATE_ONHOLD}})});

  // The same while lineForward waits.
  Sim("defer GET_CALL_FORWARDING_REQ");
  nQueries = Received(OMBIX_GET_CALL_FORWARDING_REQ);
  Sim("forward 200 noanswer 302");
  WaitReceived(OMBIX_GET_CALL_FORWARDING_REQ, nQueries + 1);
  RefusedQueryLeavesTheRequest(
      "GET_CALL_FORWARDING_REQ", "SET_CALL_FORWARDING_REQ", OMBIX_SET_CALL_FORWARDING_REQ,
      [&](DRV_REQUESTID id) { return Forward(id, LINEFORWARDMODE_UNCOND); });

  // After a re-login: the phone configuration's query is refused once lineUnhold waits.
  Sim("reply GET_CALL_FORWARDING_REQ normal");
  Sim("reply QUERY_PHONE_CONFIG_REQ fail=21");
  Sim("defer QUERY_PHONE_CONFIG_REQ");
  const size_t nConfigs = Received(OMBIX_QUERY_PHONE_CONFIG_REQ);
  DropLink();
  WaitReceived(OMBIX_QUERY_PHONE_CONFIG_REQ, nConfigs + 2);
  RefusedQueryLeavesTheRequest("QUERY_PHONE_CONFIG_REQ", "RETRIEVE_CALL_REQ",
                               OMBIX_RETRIEVE_CALL_REQ,
                               [&](DRV_REQUESTID id) { return provider.lineUnhold(C(0, 1), id); });
  Run({Reach("the call is back", {{0, 1, LINECALLSTATE_CONNECTED}})});
}

TEST_F(LineSwitchFaultsTest, FailureAnsweringTheMonitorStartRefusesTheMonitor) {
  Sim("reply MONITOR_START_REQ fail=16");
  Sim("disconnect");
  // The refusal stores the error before it takes the line out of service; the change is over
  // once TAPI sees the line status without INSERVICE.
  ASSERT_TRUE(WaitUntil([&] {
    return lines[0]->GetLineError() == OMBIX_ERROR_PERMISSION_DENIED &&
           (lines[0]->GetLineDevStatus().dwDevStatusFlags & LINEDEVSTATUSFLAGS_INSERVICE) == 0;
  }));
  EXPECT_TRUE(lines[0]->IsOutOfService());
  EXPECT_FALSE(lines[0]->IsReconnectPending());
  const DRV_REQUESTID id = Id();
  EXPECT_EQ(provider.lineMakeCall(lines[0], id, NewHandle(), &hd, "201", 0, nullptr),
            LINEERR_INVALLINESTATE);
}

TEST_F(LineSwitchFaultsTest, EventsThatEndACallNeverMakeOrTakeOne) {
  Run(Then(Connect200To201(),
           {Do("200 hangs up", [&] { return provider.lineDrop(C(0, 1), Id(), nullptr, 0); },
               {{0, 1, LINECALLSTATE_IDLE}, {1, 1, LINECALLSTATE_IDLE}})}));
  // TAPI still holds both idle calls; the switch says again that the call ended.
  Sim("repeat 1");
  Settle();
  {
    std::lock_guard<std::mutex> lock(Tapi::mx);
    EXPECT_EQ(Tapi::nNewCalls, 1);  // 201's ringing call only
  }

  // A make-call waits for its first event; a late IDLED of the old call comes first.
  const DRV_REQUESTID idMake = HeldBackMakeCall(2);
  Sim("repeat 1");
  Settle();
  EXPECT_EQ(OmbixCallId(reinterpret_cast<CTSPICallAppearance*>(hd)), ObjectId{});
  ReleaseMakeCall(idMake);
}

TEST_F(LineSwitchFaultsTest, CallEndedWhileTheLinkWasDownIsNoLongerHeldForTheNextCall) {
  Run(Connect200To201());
  ASSERT_EQ(lines[0]->GetActiveCallNumber(), 1u);
  Sim("forget 1");
  DropLink();
  Run({Reach("the check after the re-login idles it",
             {{0, 1, LINECALLSTATE_IDLE}, {1, 1, LINECALLSTATE_IDLE}})});
  EXPECT_EQ(lines[0]->GetActiveCallNumber(), 0u);
  EXPECT_EQ(lines[1]->GetAlertingCallNumber() + lines[1]->GetActiveCallNumber(), 0u);
  Run({Do("200 calls 201 again", [&] { return MakeCall(0, "201"); },
          {{0, 2, LINECALLSTATE_RINGBACK}})});
  EXPECT_TRUE(sim->ReceivedOfType(OMBIX_HOLD_CALL_REQ).empty());
}

TEST_F(LineSwitchFaultsTest, CheckAfterReloginLeavesAMakeCallTheSwitchHasNotNamedYet) {
  Run({SimStep("incoming 200 5550100", {{0, 1, LINECALLSTATE_OFFERING}})});
  Sim("forget 1");
  // Both monitor starts wait: the check of the calls begins only once they are answered.
  Sim("defer MONITOR_START_REQ");
  Sim("defer MONITOR_START_REQ");
  DropLink();
  const DRV_REQUESTID idMake = HeldBackMakeCall(1);
  Sim("release MONITOR_START_REQ");
  Run({Reach("the check idles the call that is gone", {{0, 1, LINECALLSTATE_IDLE}})});
  ReleaseMakeCall(idMake);
}

TEST_F(LineSwitchFaultsTest, ConferenceListedByItsOwnIdAfterAReloginKeepsItsMembers) {
  Run(Conference200With201And202());
  // A call the switch no longer has shows when the check has run.
  Run({SimStep("incoming 200 5550199", {{0, 4, LINECALLSTATE_OFFERING}})});
  Sim("forget 4");
  DropLink();
  Run({Reach("the check after the re-login", {{0, 4, LINECALLSTATE_IDLE},
                                              {0, 3, LINECALLSTATE_CONNECTED, true},
                                              {0, 1, LINECALLSTATE_CONFERENCED},
                                              {0, 2, LINECALLSTATE_CONFERENCED},
                                              {1, 3, LINECALLSTATE_CONNECTED, true},
                                              {1, 1, LINECALLSTATE_CONFERENCED}})});
}

TEST_F(LineSwitchFaultsTest, ConferenceIdledNamingACallOfNoPartInItLeavesThatCall) {
  Run(Then(Conference200With201And202(),
           {SimStep("incoming 200 5550100", {{0, 4, LINECALLSTATE_OFFERING}})}));
  ASSERT_EQ(Sim("event 200 3 idled related=4"), kNone);
  Settle();
  Run({Reach("nothing changed", {{0, 4, LINECALLSTATE_OFFERING},
                                 {0, 3, LINECALLSTATE_CONNECTED, true},
                                 {0, 1, LINECALLSTATE_CONFERENCED},
                                 {0, 2, LINECALLSTATE_CONFERENCED}})});
}

TEST_F(LineSwitchFaultsTest, ConsultationCallIdleBeforeTheTransferIsConfirmed) {
  Sim("reply COMPLETE_TRANSFER_REQ events-first");
  Run(Then(Consult202ForTransfer(),
           {CompleteTransfer(
               "200 completes the transfer: both calls end before the switch confirms it")}));
}

}  // namespace
}  // namespace scenario
}  // namespace prov_test
