// TAPI call control through the switch lines 200 and 201 against switch-sim over loopback (202
// is a phone of the simulator alone). Each scenario is a table of steps: a TAPI request through
// the provider's entries (or a command to the simulator), the result its completion must bring,
// and the states the calls of the two lines must then reach, calls named by the switch's numbers
// (the simulator numbers its calls 1, 2, ... from its start).
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/conference_call.h"
#include "framework/device.h"
#include "provider/ombix_call.h"
#include "provider/ombix_settings.h"
#include "switchapi/ombix_message_types.h"
#include "tests/provider/provider_doubles.h"

namespace prov_test {

class ScenarioLine : public COmbixLine {
  DECLARE_DYNCREATE(ScenarioLine)
 public:
  ScenarioLine() : COmbixLine(OMBIXLINETIMING{.dwMonitorStartWait = 4000, .dwResyncDelay = 400}) {
    SetHoldWait(300);
  }
};
IMPLEMENT_DYNCREATE(ScenarioLine, COmbixLine)

namespace {

// What TAPI hears: completions, and a handle for every call the provider announces.
struct Tapi {
  static inline std::mutex mx;
  static inline std::map<DRV_REQUESTID, LONG> results;
  static inline int nNewCalls = 0;
  static inline UINT_PTR nextHandle = 0x9000;
  static void Completion(DRV_REQUESTID id, LONG lResult) {
    std::lock_guard<std::mutex> lock(mx);
    results[id] = lResult;
  }
  static void LineEvent(HTAPILINE, HTAPICALL, DWORD dwMsg, DWORD_PTR, DWORD_PTR dwParam2,
                        DWORD_PTR) {
    if (dwMsg != LINE_NEWCALL) return;
    std::lock_guard<std::mutex> lock(mx);
    ++nNewCalls;
    *reinterpret_cast<HTAPICALL*>(dwParam2) = reinterpret_cast<HTAPICALL>(++nextHandle);
  }
  static bool Result(DRV_REQUESTID id, LONG& lResult) {
    std::lock_guard<std::mutex> lock(mx);
    auto it = results.find(id);
    if (it == results.end()) return false;
    lResult = it->second;
    return true;
  }
  static void Reset() {
    std::lock_guard<std::mutex> lock(mx);
    results.clear();
    nNewCalls = 0;
  }
};

ObjectId IdOfCall(DWORD dwNumber) {
  ObjectId oid{};
  for (int i = 0; i < 4; ++i) oid.abId[8 + i] = static_cast<BYTE>(dwNumber >> (24 - 8 * i));
  return oid;
}

constexpr LONG kNone = 1;  // a step without a TAPI request (a simulator command)

// A call of a line, named by the switch's number, in the state it must reach.
struct CallState {
  int nLine;
  DWORD dwCall;
  DWORD dwState;
  bool bConference = false;
};

struct Step {
  std::string strWhat;
  std::function<LONG()> act;  // the request ID, or kNone
  LONG lResult = 0;           // what the completion must bring
  std::vector<CallState> after;
};

class LineScenarioTest : public ProviderTest {
 protected:
  void SetUp() override {
    ProviderTest::SetUp();
    Tapi::Reset();
    SwitchSimConfig config;
    config.wPort = 0;
    config.ackTimeout = std::chrono::milliseconds(500);
    config.outsideAnswerDelay = std::chrono::milliseconds(100);
    sim = std::make_unique<SwitchSim>(config);
    ASSERT_TRUE(sim->Start()) << sim->GetLastError();
    DeviceSetup::wServerPort = sim->GetPort();
    DeviceSetup::dwLoginWait = 5000;
    provider.DetectExportedFunctions(
        [](LPCSTR) { return reinterpret_cast<FARPROC>(&Tapi::Completion); });
    provider.SetObjectClasses(RUNTIME_CLASS(TestDevice), nullptr, RUNTIME_CLASS(ScenarioLine),
                              nullptr, RUNTIME_CLASS(COmbixCall), RUNTIME_CLASS(COmbixConfCall),
                              nullptr);
    Write("IP1", "127.0.0.1");
    SaveLineSettings(kProviderID, 0, "200", "1234");
    SaveLineSettings(kProviderID, 1, "201", "1234");
    ASSERT_EQ(
        provider.providerInit(0x00020001, kProviderID, 10, 0, 2, 0, &Tapi::Completion, &dwOptions),
        0);
    CTSPIDevice* pDevice = provider.FindDeviceByProviderID(kProviderID);
    for (int i = 0; i < 2; ++i) {
      lines[i] = dynamic_cast<ScenarioLine*>(pDevice->GetLineByIndex(i));
      ASSERT_NE(lines[i], nullptr);
      ASSERT_EQ(
          lines[i]->OpenLine(reinterpret_cast<HTAPILINE>(0x100 + i), &Tapi::LineEvent, 0x00020001),
          0);
      ASSERT_NE(lines[i]->GetMonitorID(), 0u);
    }
  }
  void TearDown() override {
    ProviderTest::TearDown();
    if (sim) sim->Stop();
  }

  // The newest call of a line with the switch's number (idle ones too); NULL when none has it.
  CTSPICallAppearance* Find(int nLine, DWORD dwCall, bool bConference) {
    CTSPICallAppearance* pFound = nullptr;
    for (CTSPICallAppearance* pCall : lines[nLine]->GetAddress(0)->SnapshotCalls()) {
      const bool bIsConf = dynamic_cast<COmbixConfCall*>(pCall) != nullptr;
      if (bIsConf == bConference && OmbixCallId(pCall) == IdOfCall(dwCall)) pFound = pCall;
      pCall->Release();  // the address keeps it
    }
    return pFound;
  }
  CTSPICallAppearance* C(int nLine, DWORD dwCall) { return Find(nLine, dwCall, false); }
  CTSPIConferenceCall* Conf(int nLine, DWORD dwCall) {
    return static_cast<CTSPIConferenceCall*>(Find(nLine, dwCall, true));
  }
  HTAPICALL NewHandle() { return reinterpret_cast<HTAPICALL>(++handle); }
  LONG Sim(const std::string& strCommand) {
    sim->Command(strCommand);
    return kNone;
  }
  DRV_REQUESTID Id() { return ++nextId; }

  void Run(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      SCOPED_TRACE(step.strWhat);
      const LONG lId = step.act();
      if (lId != kNone) {
        ASSERT_GT(lId, 1) << "refused at once: " << std::hex << lId;
        LONG lResult = -1;
        ASSERT_TRUE(WaitUntil([&] { return Tapi::Result(lId, lResult); })) << "never completed";
        EXPECT_EQ(lResult, step.lResult) << std::hex << lResult;
      }
      for (const CallState& want : step.after) {
        auto state = [&]() -> DWORD {
          CTSPICallAppearance* pCall =
              want.bConference ? Conf(want.nLine, want.dwCall) : C(want.nLine, want.dwCall);
          return pCall != nullptr ? pCall->GetCallState() : 0;
        };
        EXPECT_TRUE(WaitUntil([&] { return state() == want.dwState; }))
            << "line " << want.nLine << " call #" << want.dwCall << ": 0x" << std::hex << state()
            << " instead of 0x" << want.dwState;
      }
    }
  }
  // The steps that get a call from 200 to 201 connected: switch call #1.
  std::vector<Step> Connect200To201() {
    return {
        {"200 calls 201",
         [&] { return provider.lineMakeCall(lines[0], Id(), NewHandle(), &hd, "201", 0, nullptr); },
         0,
         {{0, 1, LINECALLSTATE_RINGBACK}, {1, 1, LINECALLSTATE_OFFERING}}},
        {"201 answers",
         [&] { return provider.lineAnswer(C(1, 1), Id(), nullptr, 0); },
         0,
         {{0, 1, LINECALLSTATE_CONNECTED}, {1, 1, LINECALLSTATE_CONNECTED}}}};
  }
  std::vector<Step> Then(std::vector<Step> first, const std::vector<Step>& rest) {
    first.insert(first.end(), rest.begin(), rest.end());
    return first;
  }

  std::unique_ptr<SwitchSim> sim;
  ScenarioLine* lines[2] = {};
  HDRVCALL hd = nullptr;
  HDRVCALL hdConsult = nullptr;
  HDRVCALL hdConf = nullptr;
  UINT_PTR handle = 0x5000;
  DRV_REQUESTID nextId = 100;
};

TEST_F(LineScenarioTest, MakeAnswerHoldUnholdSwapDrop) {
  Run(Then(
      Connect200To201(),
      {{"200 holds",
        [&] { return provider.lineHold(C(0, 1), Id()); },
        0,
        {{0, 1, LINECALLSTATE_ONHOLD}}},
       {"200 takes it back",
        [&] { return provider.lineUnhold(C(0, 1), Id()); },
        0,
        {{0, 1, LINECALLSTATE_CONNECTED}}},
       // The active call is held first, then the new call goes out.
       {"200 calls 202 while 201 is active",
        [&] { return provider.lineMakeCall(lines[0], Id(), NewHandle(), &hd, "202", 0, nullptr); },
        0,
        {{0, 1, LINECALLSTATE_ONHOLD}, {0, 2, LINECALLSTATE_RINGBACK}}},
       {"202 answers", [&] { return Sim("answer 2 202"); }, 0, {{0, 2, LINECALLSTATE_CONNECTED}}},
       {"200 swaps",
        [&] { return provider.lineSwapHold(C(0, 2), Id(), C(0, 1)); },
        0,
        {{0, 1, LINECALLSTATE_CONNECTED}, {0, 2, LINECALLSTATE_ONHOLD}}},
       {"201 holds its side",
        [&] { return provider.lineHold(C(1, 1), Id()); },
        0,
        {{1, 1, LINECALLSTATE_ONHOLD}}},
       {"201 takes it back",
        [&] { return provider.lineUnhold(C(1, 1), Id()); },
        0,
        {{1, 1, LINECALLSTATE_CONNECTED}}},
       {"200 drops 201",
        [&] { return provider.lineDrop(C(0, 1), Id(), nullptr, 0); },
        0,
        {{0, 1, LINECALLSTATE_IDLE}, {1, 1, LINECALLSTATE_IDLE}}}}));
  // 201's ringing call is the only one TAPI did not create itself.
  std::lock_guard<std::mutex> lock(Tapi::mx);
  EXPECT_EQ(Tapi::nNewCalls, 1);
}

TEST_F(LineScenarioTest, BusyAndFailedCalls) {
  Run({{"a busy outside number", [&] { return Sim("outside 5550100 busy"); }, 0, {}},
       {"200 calls it",
        [&] {
          return provider.lineMakeCall(lines[0], Id(), NewHandle(), &hd, "5550100", 0, nullptr);
        },
        0,
        {{0, 1, LINECALLSTATE_BUSY}}},
       {"200 hangs up",
        [&] { return provider.lineDrop(C(0, 1), Id(), nullptr, 0); },
        0,
        {{0, 1, LINECALLSTATE_IDLE}}},
       {"an unreachable number", [&] { return Sim("outside 5550111 unreachable"); }, 0, {}},
       {"200 calls it",
        [&] {
          return provider.lineMakeCall(lines[0], Id(), NewHandle(), &hd, "5550111", 0, nullptr);
        },
        0,
        {{0, 2, LINECALLSTATE_SPECIALINFO}}}});
  EXPECT_EQ(C(0, 2)->GetCallStateMode(), static_cast<DWORD>(LINESPECIALINFO_REORDER));
}

TEST_F(LineScenarioTest, IncomingCallAnsweredThenRedirectedAndDialled) {
  Run({{"an outside caller rings 200",
        [&] { return Sim("incoming 200 5550100 Ada"); },
        0,
        {{0, 1, LINECALLSTATE_OFFERING}}},
       {"200 answers",
        [&] { return provider.lineAnswer(C(0, 1), Id(), nullptr, 0); },
        0,
        {{0, 1, LINECALLSTATE_CONNECTED}}},
       {"200 dials digits", [&] { return provider.lineDial(C(0, 1), Id(), "123", 0); }, 0, {}},
       {"200 calls 201",
        [&] { return provider.lineMakeCall(lines[0], Id(), NewHandle(), &hd, "201", 0, nullptr); },
        0,
        {{0, 1, LINECALLSTATE_ONHOLD}, {1, 2, LINECALLSTATE_OFFERING}}},
       {"201 sends it on to 202",
        [&] { return provider.lineRedirect(C(1, 2), Id(), "202", 0); },
        0,
        {{1, 2, LINECALLSTATE_IDLE}}}});
  const CALLIDENTIFIER caller = C(0, 1)->GetCallerIDInfo();
  EXPECT_EQ(caller.strPartyId, CString("5550100"));
  EXPECT_EQ(caller.strPartyName, CString("Ada"));
  const auto dials = sim->ReceivedOfType(OMBIX_DIAL_DIGITS_REQ);
  ASSERT_EQ(dials.size(), 1u);
  EXPECT_EQ(dials[0].Str("strDigits"), "123");
}

TEST_F(LineScenarioTest, BlindAndConsultationTransfer) {
  Run(Then(
      Connect200To201(),
      {{"200 sets up a transfer",
        [&] { return provider.lineSetupTransfer(C(0, 1), Id(), NewHandle(), &hdConsult, nullptr); },
        0,
        {{0, 1, LINECALLSTATE_ONHOLDPENDTRANSFER}, {0, 2, LINECALLSTATE_DIALING}}},
       {"200 dials 202",
        [&] {
          return provider.lineDial(reinterpret_cast<CTSPICallAppearance*>(hdConsult), Id(), "202",
                                   0);
        },
        0,
        {{0, 2, LINECALLSTATE_RINGBACK}}},
       {"202 answers", [&] { return Sim("answer 2 202"); }, 0, {{0, 2, LINECALLSTATE_CONNECTED}}},
       {"200 completes the transfer",
        [&] {
          return provider.lineCompleteTransfer(C(0, 1), Id(), C(0, 2), nullptr, nullptr,
                                               LINETRANSFERMODE_TRANSFER);
        },
        0,
        {{0, 1, LINECALLSTATE_IDLE}, {0, 2, LINECALLSTATE_IDLE}, {1, 1, LINECALLSTATE_CONNECTED}}},
       {"201 sends 202 on blind to 200",
        [&] { return provider.lineBlindTransfer(C(1, 1), Id(), "200", 0); },
        0,
        {{1, 1, LINECALLSTATE_IDLE}, {0, 1, LINECALLSTATE_OFFERING}}}}));
}

TEST_F(LineScenarioTest, ConferenceAddAndRemove) {
  Run(Then(
      Connect200To201(),
      {{"200 sets up a conference",
        [&] {
          return provider.lineSetupConference(lines[0], C(0, 1), Id(), NewHandle(), &hdConf,
                                              NewHandle(), &hdConsult, 3, nullptr);
        },
        0,
        {{0, 1, LINECALLSTATE_CONFERENCED},
         {0, 0, LINECALLSTATE_ONHOLDPENDCONF, true},
         {0, 2, LINECALLSTATE_DIALING}}},
       {"200 dials 202",
        [&] { return provider.lineDial(C(0, 2), Id(), "202", 0); },
        0,
        {{0, 2, LINECALLSTATE_RINGBACK}}},
       {"202 answers", [&] { return Sim("answer 2 202"); }, 0, {{0, 2, LINECALLSTATE_CONNECTED}}},
       {"200 adds 202",
        [&] {
          return provider.lineAddToConference(reinterpret_cast<CTSPIConferenceCall*>(hdConf),
                                              C(0, 2), Id());
        },
        0,
        {{0, 3, LINECALLSTATE_CONNECTED, true},
         {0, 1, LINECALLSTATE_CONFERENCED},
         {0, 2, LINECALLSTATE_CONFERENCED}}},
       {"200 removes 202",
        [&] { return provider.lineRemoveFromConference(C(0, 2), Id()); },
        0,
        {{0, 2, LINECALLSTATE_IDLE}}}}));
  // Two parties are left: the call with 201 carries the conference's switch id from now on.
  CTSPICallAppearance* pLeft = C(0, 3);
  ASSERT_NE(pLeft, nullptr);
  EXPECT_EQ(pLeft->GetCalledIDInfo().strPartyId, CString("201"));
}

TEST_F(LineScenarioTest, ParkUnparkAndPickup) {
  Run(Then(Connect200To201(),
           {{"200 asks for a directed park, to no address: the line parks only non-directed",
             [&] {
               EXPECT_EQ(provider.linePark(C(0, 1), Id(), LINEPARKMODE_DIRECTED, "", nullptr),
                         LINEERR_INVALPARKMODE);
               return kNone;
             },
             0,
             {{0, 1, LINECALLSTATE_CONNECTED}}},
            {"200 parks",
             [&] {
               return provider.linePark(C(0, 1), Id(), LINEPARKMODE_NONDIRECTED, nullptr, nullptr);
             },
             0,
             {{0, 1, LINECALLSTATE_IDLE}}},
            {"201 hangs up",
             [&] { return provider.lineDrop(C(1, 1), Id(), nullptr, 0); },
             0,
             {{1, 1, LINECALLSTATE_IDLE}}},
            {"an outside caller rings 201",
             [&] { return Sim("incoming 201 5550100"); },
             0,
             {{1, 2, LINECALLSTATE_OFFERING}}},
            {"200 picks it up",
             [&] {
               return provider.linePickup(lines[0]->GetAddress(0), Id(), NewHandle(), &hd, "201",
                                          nullptr);
             },
             0,
             {{0, 2, LINECALLSTATE_CONNECTED}, {1, 2, LINECALLSTATE_IDLE}}},
            {"200 parks it",
             [&] {
               return provider.linePark(C(0, 2), Id(), LINEPARKMODE_NONDIRECTED, nullptr, nullptr);
             },
             0,
             {{0, 2, LINECALLSTATE_IDLE}}},
            {"201 unparks it",
             [&] {
               return provider.lineUnpark(lines[1]->GetAddress(0), Id(), NewHandle(), &hd, "PARK");
             },
             0,
             {{1, 2, LINECALLSTATE_CONNECTED}}}}));
}

TEST_F(LineScenarioTest, ForwardSetAndCancel) {
  // One entry: forward on no answer to 300.
  const char16_t szTo[] = u"300";
  std::vector<BYTE> buffer(sizeof(LINEFORWARDLIST) + sizeof(szTo), 0);
  auto* pList = reinterpret_cast<LINEFORWARDLIST*>(buffer.data());
  pList->dwTotalSize = static_cast<DWORD>(buffer.size());
  pList->dwNumEntries = 1;
  pList->ForwardList[0].dwForwardMode = LINEFORWARDMODE_NOANSW;
  pList->ForwardList[0].dwDestAddressSize = sizeof(szTo);
  pList->ForwardList[0].dwDestAddressOffset = sizeof(LINEFORWARDLIST);
  std::memcpy(buffer.data() + sizeof(LINEFORWARDLIST), szTo, sizeof(szTo));
  Run({{"forward 200 on no answer",
        [&] {
          return provider.lineForward(lines[0], nullptr, Id(), pList, 0, nullptr, nullptr, nullptr);
        },
        0,
        {}},
       {"cancel it",
        [&] {
          return provider.lineForward(lines[0], nullptr, Id(), nullptr, 0, nullptr, nullptr,
                                      nullptr);
        },
        0,
        {}},
       // The cancel's later answers complete nothing that follows.
       {"200 holds nothing: a call first",
        [&] { return Sim("incoming 200 5550100"); },
        0,
        {{0, 1, LINECALLSTATE_OFFERING}}},
       {"200 answers",
        [&] { return provider.lineAnswer(C(0, 1), Id(), nullptr, 0); },
        0,
        {{0, 1, LINECALLSTATE_CONNECTED}}}});
  const auto forwards = sim->ReceivedOfType(OMBIX_SET_CALL_FORWARDING_REQ);
  ASSERT_EQ(forwards.size(), 4u);
  EXPECT_EQ(forwards[0].Dword("dwForwardMode"), 2u);
  EXPECT_EQ(forwards[0].Str("strForwardTo"), "300");
  for (DWORD i = 1; i < 4; ++i) {
    EXPECT_EQ(forwards[i].Dword("dwForwardMode"), i - 1);
    EXPECT_EQ(forwards[i].Str("strForwardTo"), "");
  }
  EXPECT_EQ(sim->ReceivedOfType(OMBIX_SET_DO_NOT_DISTURB_REQ).size(), 1u);
}

TEST_F(LineScenarioTest, LostLinkFailsTheRequestWithTheSwitch) {
  Run(Then(Connect200To201(), {{"the switch goes silent", [&] { return Sim("silent on"); }, 0, {}},
                               {"200 holds: no answer comes, the link gives up",
                                [&] { return provider.lineHold(C(0, 1), Id()); },
                                LINEERR_OPERATIONFAILED,
                                {}},
                               {"while the link is down, requests are refused",
                                [&] { return provider.lineHold(C(0, 1), Id()); },
                                LINEERR_INVALLINESTATE,
                                {}}}));
}

}  // namespace
}  // namespace prov_test
