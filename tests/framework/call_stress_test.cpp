// Calls changed, closed and timed from several threads at once, bounded to a few hundred rounds:
// the sanitizers see any race, leak or use of a freed call.
#include <gtest/gtest.h>

#include "tests/framework/call_doubles.h"

namespace fw_test {
namespace {

class CallStressTest : public CallTest {
 protected:
  CallStressTest() { timerTick = 1; }
};

// Every call of the address, each with a reference the caller releases.
template <typename Each>
void ForEachCall(CTSPIAddressInfo* pAddr, Each each) {
  for (CTSPICallAppearance* pCall : pAddr->SnapshotCalls()) {
    each(pCall);
    pCall->Release();
  }
}

TEST_F(CallStressTest, StateChangesRaceWithClosingCallsAndTheLine) {
  sp.SetDefaultRequestWait(5);
  line->Answer(REQUEST_LINEDROP, [](Line& l, CTSPIRequest* pReq) {
    CCallRef pCall = pReq->GetCall();
    l.CompleteRequest(pReq, 0);
    pCall->ChangeCallState(LINECALLSTATE_IDLE);
  });
  std::atomic<bool> stop{false};
  std::thread tapi([&] {  // drops connected calls and closes idle ones
    DWORD dwID = 1000;
    while (!stop) {
      ForEachCall(pAddr, [&](CTSPICallAppearance* pCall) {
        if (pCall->GetCallState() == LINECALLSTATE_CONNECTED) pCall->Drop(++dwID, nullptr, 0);
        if (pCall->GetCallState() == LINECALLSTATE_IDLE) pCall->CloseCall();
      });
      std::this_thread::yield();
    }
  });
  std::thread closer([&] {  // TAPI closes and opens the line meanwhile
    while (!stop) {
      line->CloseLine();
      line->OpenLine(kTapiLine, &CallTapi::Callback, 0x00020001);
      std::this_thread::yield();
    }
  });
  const DWORD states[] = {LINECALLSTATE_DIALTONE, LINECALLSTATE_PROCEEDING, LINECALLSTATE_CONNECTED,
                          LINECALLSTATE_ONHOLD, LINECALLSTATE_CONNECTED};
  for (int round = 0; round < 300; ++round) {  // the switch
    CTSPICallAppearance* pCall = pAddr->FindOrCreateCall(nullptr, 0, LINECALLORIGIN_OUTBOUND,
                                                         LINECALLREASON_DIRECT, 0xFFFFFFFF, 0);
    ASSERT_NE(pCall, nullptr);
    pCall->AddRef();
    for (DWORD dwState : states) pCall->ChangeCallState(dwState);
    if (round % 3 == 0) pCall->ChangeCallState(LINECALLSTATE_IDLE);
    pCall->Release();
  }
  stop = true;
  tapi.join();
  closer.join();
  ForEachCall(pAddr, [](CTSPICallAppearance* pCall) {
    pCall->ChangeCallState(LINECALLSTATE_IDLE);
    pCall->CloseCall();
  });
  EXPECT_EQ(pAddr->GetCallCount(), 0);
  const LINEADDRESSSTATUS status = pAddr->GetAddressStatusCopy();
  EXPECT_EQ(status.dwNumActiveCalls + status.dwNumOnHoldCalls + status.dwNumInUse, 0u);
  EXPECT_EQ(line->GetActiveCallCount(), 0);
}

TEST_F(CallStressTest, TheTimerThreadServesGathersWhileCallsAreRemoved) {
  AllowGathers(1000);
  static WCHAR digits[8] = {};
  for (int round = 0; round < 300; ++round) {
    CTSPICallAppearance* pCall = pAddr->FindOrCreateCall(
        Handle(0x2000 + round), 0, LINECALLORIGIN_OUTBOUND, LINECALLREASON_DIRECT, 0xFFFFFFFF, 0);
    ASSERT_NE(pCall, nullptr);
    pCall->ChangeCallState(LINECALLSTATE_CONNECTED);
    ASSERT_EQ(Gather(pCall, digits, 1 + round % 3), 0);
    if (round % 10 == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));  // some gathers end by time
    } else {
      for (int i = 0; i < round % 4; ++i) std::this_thread::yield();
    }
    if (round % 2 == 0) {
      pAddr->RemoveCall(pCall);
    } else {
      pCall->ChangeCallState(LINECALLSTATE_IDLE);
      pCall->CloseCall();
    }
  }
  EXPECT_EQ(pAddr->GetCallCount(), 0);
  EXPECT_TRUE(WaitUntil([&] { return sp.GetTimedCallCount() == 0; }));
}

}  // namespace
}  // namespace fw_test
