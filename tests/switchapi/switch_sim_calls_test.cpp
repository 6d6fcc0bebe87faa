// switch-sim's calls, seen by a client that monitors phones 200, 201 and 202 over loopback: for
// each scenario the requests and commands given, and what each monitor hears, in order, as
// "EVENT/connection-0 state[/cause] #call[^related]"; ringing shows the other party
// "<DEVICE_TYPE number[ name]>". Responses are listed apart as "RESPONSE error[ #call]", or, for
// a scenario that asks for "seq", in one list with what 200 hears, in arrival order. A request
// step ">>" is one the switch holds back: its answer is awaited only after "release".
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <utility>

#include "switchapi/ombix_values.h"
#include "tests/switchapi/link_test_support.h"
#include "tools/switch-sim/switch_sim.h"

namespace {

std::string Strip(const std::string& name, const std::string& prefix) {
  return name.rfind(prefix, 0) == 0 ? name.substr(prefix.size()) : name;
}

ObjectId Oid(DWORD dwCall) {
  ObjectId oid{};
  for (int i = 0; i < 4; ++i) oid.abId[8 + i] = static_cast<BYTE>(dwCall >> (24 - 8 * i));
  return oid;
}

class CallLink : public COmbixAPI {
 public:
  using COmbixAPI::COmbixAPI;
  ~CallLink() override { StopThread(); }
  std::map<std::string, std::vector<std::string>> Heard() {
    std::lock_guard<std::mutex> lock(m_mx);
    return m_heard;
  }
  std::size_t Count(const std::string& who) { return Heard()[who].size(); }

 protected:
  void OnResponse(const COmbixMsg* pMsg) override {
    const COmbixRsp* p = OmbixAsResponse(pMsg);
    std::string line = Strip(MessageTypeName(pMsg->dwMsgType), "OMBIX_");
    line = line.substr(0, line.size() - 4) + " " +
           Strip(ErrorName(p ? p->dwError : 0), "OMBIX_ERROR_");
    if (auto* c = dynamic_cast<const COmbixMakeCallRsp*>(pMsg)) {
      line += " #" + std::to_string(c->oidCall.GetCallNumber());
    }
    Add("rsp", line);
    Add("seq", line);
  }
  void OnCallEvent(const COmbixCallConnectionEvent* p) override {
    std::ostringstream out;
    out << Strip(CallConnectionEventName(p->dwEvent), "CALL_CONNECTION_") << "/"
        << (p->dwConnectionCount ? Strip(ConnectionStateName(p->pConnections[0].dwState), "CS_")
                                 : "-");
    if (p->dwEventCause != EC_NONE) out << "/" << Strip(EventCauseName(p->dwEventCause), "EC_");
    out << " #" << p->oidCall.GetCallNumber();
    if (p->oidRelated.GetCallNumber() != 0) out << "^" << p->oidRelated.GetCallNumber();
    if (p->dwEvent == CALL_CONNECTION_ALERTING && p->dwConnectionCount > 1) {
      const COmbixConnection& other = p->pConnections[1];
      out << " <" << Strip(DeviceTypeName(other.dwDeviceType), "DEVICE_TYPE_") << " "
          << other.strNumber << (other.strName[0] ? " " : "") << other.strName << ">";
    }
    Add(p->strDevice, out.str());
    if (std::string(p->strDevice) == "200") Add("seq", "200 " + out.str());
  }

 private:
  void Add(const std::string& who, const std::string& what) {
    std::lock_guard<std::mutex> lock(m_mx);
    m_heard[who].push_back(what);
  }
  std::mutex m_mx;
  std::map<std::string, std::vector<std::string>> m_heard;
};

struct Scenario {
  const char* pszName;
  std::vector<std::string> steps;  // a request ("> VERB DEVICE ..."), else a sim command
  std::map<std::string, std::string> expected;  // by device, and "rsp"
};

class SimCallsTest : public ::testing::Test {
 protected:
  void Run(const std::vector<Scenario>& scenarios) {
    for (const Scenario& scenario : scenarios) {
      SCOPED_TRACE(scenario.pszName);
      RunOne(scenario);
    }
  }

 private:
  void RunOne(const Scenario& scenario) {
    SwitchSimConfig config;
    config.wPort = 0;
    config.outsideAnswerDelay = std::chrono::milliseconds(0);
    config.noAnswerDelay = std::chrono::milliseconds(0);
    config.phones = {{"200", "1", ""}, {"201", "1", ""}, {"202", "1", "", 1}, {"203", "1", ""}};
    SwitchSim sim(config);
    ASSERT_TRUE(sim.Start());
    CallLink link(FastLinkOptions(sim.GetPort()));
    link.Start("127.0.0.1", "", "TAPI", "6.0.1");
    ASSERT_TRUE(WaitUntil([&] { return link.IsLoggedIn() != FALSE; }));
    for (const char* pszPhone : {"200", "201", "202"}) link.MonitorStart(1, pszPhone, "1", "");
    ASSERT_TRUE(WaitUntil([&] { return link.Count("rsp") == 3; }));
    std::size_t nRequests = 3;
    std::size_t nHeldBack = 0;
    for (const std::string& step : scenario.steps) {
      if (step[0] != '>') {
        const std::string answer = sim.Command(step);
        ASSERT_EQ(answer.rfind("error", 0), std::string::npos) << step << ": " << answer;
        if (step.rfind("release", 0) == 0) nRequests += std::exchange(nHeldBack, 0);
        continue;
      }
      if (step.rfind(">> ", 0) == 0) {
        Request(link, step.substr(3));
        ++nHeldBack;
        continue;
      }
      Request(link, step.substr(2));
      ++nRequests;
      // Its answer: what it changed has been told by then, the events behind the answer too.
      ASSERT_TRUE(WaitUntil([&] { return link.Count("rsp") == nRequests; })) << step;
    }
    std::map<std::string, std::string> heard;
    auto joined = [&] {
      heard.clear();
      for (const auto& [who, lines] : link.Heard()) {
        // With "seq" asked for, the responses and what 200 hears are told there alone.
        const bool bSeq = scenario.expected.count("seq") != 0;
        if (who == "seq" ? !bSeq : bSeq && (who == "rsp" || who == "200")) continue;
        std::string& text = heard[who];
        for (std::size_t i = who == "rsp" || who == "seq" ? 3 : 0; i < lines.size(); ++i) {
          text += (text.empty() ? "" : ", ") + lines[i];
        }
        if (text.empty()) heard.erase(who);
      }
      return heard == scenario.expected;
    };
    WaitUntil(joined);  // the events after the last answer, at the link's pace
    for (const auto& [who, text] : scenario.expected) EXPECT_EQ(heard[who], text) << who;
    for (const auto& [who, text] : heard) {
      EXPECT_TRUE(scenario.expected.count(who)) << who << " heard " << text;
    }
  }

  static void Request(CallLink& l, const std::string& text) {
    std::istringstream in(text);
    std::string verb, dev, a, b;
    in >> verb >> dev >> a >> b;
    const DWORD n = a.empty() || !std::isdigit(a[0]) ? 0 : std::stoul(a);
    const DWORD m = b.empty() || !std::isdigit(b[0]) ? 0 : std::stoul(b);
    const char* d = dev.c_str();
    if (verb == "make") l.MakeCall(1, d, a.c_str(), 1, "");
    if (verb == "answer") l.AnswerCall(1, d, Oid(n), "");
    if (verb == "hold") l.HoldCall(1, d, Oid(n), "");
    if (verb == "retrieve") l.RetrieveCall(1, d, Oid(n), "");
    if (verb == "drop") l.DropConnection(1, d, Oid(n), 0);
    if (verb == "swap") l.AlternateCall(1, d, Oid(n), Oid(m));
    if (verb == "blind") l.SingleStepTransfer(1, d, Oid(n), b.c_str(), 0);
    if (verb == "consult") l.SetupTransfer(1, d, Oid(n), "", 1);
    if (verb == "setupconf") l.SetupConference(1, d, Oid(n), "", 1);
    if (verb == "dial") l.DialDigits(1, d, Oid(n), b.c_str());
    if (verb == "complete") l.CompleteTransfer(1, d, Oid(n), Oid(m));
    if (verb == "conf") l.ConferenceCall(1, d, Oid(n), Oid(m));
    if (verb == "remove") l.DropConferenceConnection(1, d, Oid(n), b.c_str());
    if (verb == "park") l.ParkCall(1, d, Oid(n), 0);
    if (verb == "pickup") l.PickupCall(1, d, a.c_str(), "");
    if (verb == "redirect") l.RedirectCall(1, d, Oid(n), REDIRECT_TO_NUMBER, b.c_str(), 0);
    if (verb == "monitor") l.MonitorStart(1, d, "1", "");
  }
};

// clang-format off
TEST_F(SimCallsTest, MakeAnswerHoldRetrieveSwapDrop) {
  Run({
      {"a call between two phones",
       {"> make 200 201", "> answer 201 1", "> answer 201 1", "> hold 200 1", "> hold 202 1",
        "> retrieve 200 1", "> drop 201 1"},
       {{"200", "INITIATED/DIALING #1, ATTEMPTING/ATTEMPTING #1, ESTABLISHED/CONNECTED #1, "
                "HELD/HELD #1, RETRIEVED/CONNECTED #1, IDLED/IDLE/REMOTE_IDLE #1"},
        {"201", "ALERTING/ALERTING #1 <INTERNAL 200>, ESTABLISHED/CONNECTED #1, HELD/CONNECTED #1, "
                "RETRIEVED/CONNECTED #1, IDLED/IDLE #1"},
        {"rsp", "MAKE_CALL 0 #1, ANSWER_CALL 0, ANSWER_CALL NO_CALL_TO_ANSWER, HOLD_CALL 0, "
                "HOLD_CALL INVALID_CALL, RETRIEVE_CALL 0, DROP_CONNECTION 0"}}},
      {"an outside number answers; swapping between it and a held call",
       {"> make 200 201", "> answer 201 1", "> hold 200 1", "> make 200 5550100", "> swap 200 2 1",
        "> retrieve 200 1"},
       {{"200", "INITIATED/DIALING #1, ATTEMPTING/ATTEMPTING #1, ESTABLISHED/CONNECTED #1, "
                "HELD/HELD #1, INITIATED/DIALING #2, ATTEMPTING/ATTEMPTING #2, "
                "ESTABLISHED/CONNECTED #2, HELD/HELD #2, RETRIEVED/CONNECTED #1"},
        {"201", "ALERTING/ALERTING #1 <INTERNAL 200>, ESTABLISHED/CONNECTED #1, HELD/CONNECTED #1, "
                "RETRIEVED/CONNECTED #1"},
        {"rsp", "MAKE_CALL 0 #1, ANSWER_CALL 0, HOLD_CALL 0, MAKE_CALL 0 #2, ALTERNATE_CALL 0, "
                "RETRIEVE_CALL INVALID_STATE"}}},
  });
}

TEST_F(SimCallsTest, BusyUnreachableForwardedAndRefusedCalls) {
  Run({
      {"busy outside number, then hung up",
       {"outside 5550100 busy", "> make 200 5550100", "> drop 200 1"},
       {{"200", "INITIATED/DIALING #1, FAILED/DIALING/BUSY #1, IDLED/IDLE #1"},
        {"rsp", "MAKE_CALL 0 #1, DROP_CONNECTION 0"}}},
      {"unreachable outside number",
       {"outside 5550100 unreachable", "> make 200 5550100"},
       {{"200", "INITIATED/DIALING #1, FAILED/DIALING/OUT_OF_SERVICE #1"}, {"rsp", "MAKE_CALL 0 #1"}}},
      {"do not disturb",
       {"dnd 201 on", "> make 200 201"},
       {{"200", "INITIATED/DIALING #1, FAILED/DIALING/DO_NOT_DISTURB #1"}, {"rsp", "MAKE_CALL 0 #1"}}},
      {"a phone at its call limit is busy, or forwards when busy",
       {"call 202 5550100", "> make 200 202", "forward 202 busy 201", "> make 200 202"},
       {{"200", "INITIATED/DIALING #2, FAILED/DIALING/BUSY #2, INITIATED/DIALING #3, "
                "ATTEMPTING/ATTEMPTING/FORWARDED #3"},
        {"201", "ALERTING/ALERTING/FORWARDED #3 <INTERNAL 200>"},
        {"202", "ESTABLISHED/CONNECTED #1"},
        {"rsp", "MAKE_CALL 0 #2, MAKE_CALL 0 #3"}}},
      {"forwarding of all calls, and out of service",
       {"forward 201 all 202", "> make 200 201", "out-of-service 203", "> make 200 203"},
       {{"200", "INITIATED/DIALING #1, ATTEMPTING/ATTEMPTING/FORWARDED #1, INITIATED/DIALING #2, "
                "FAILED/DIALING/OUT_OF_SERVICE #2"},
        {"202", "ALERTING/ALERTING/FORWARDED #1 <INTERNAL 200>"},
        {"rsp", "MAKE_CALL 0 #1, MAKE_CALL 0 #2"}}},
      {"no answer: the call moves on",
       {"forward 201 noanswer 202", "> make 200 201"},
       {{"200", "INITIATED/DIALING #1, ATTEMPTING/ATTEMPTING #1, ATTEMPTING/ATTEMPTING/FORWARDED #1"},
        {"201", "ALERTING/ALERTING #1 <INTERNAL 200>, REDIRECTED/IDLE/FORWARDED #1"},
        {"202", "ALERTING/ALERTING/FORWARDED #1 <INTERNAL 200>"},
        {"rsp", "MAKE_CALL 0 #1"}}},
  });
}

TEST_F(SimCallsTest, BlindAndConsultationTransfer) {
  Run({
      {"blind transfer; refused to a busy number",
       {"outside 5550100 busy", "> make 200 201", "> answer 201 1", "> blind 200 1 5550100",
        "> blind 200 1 202", "> answer 202 1"},
       {{"200", "INITIATED/DIALING #1, ATTEMPTING/ATTEMPTING #1, ESTABLISHED/CONNECTED #1, "
                "TRANSFERRED/IDLE #1"},
        {"201", "ALERTING/ALERTING #1 <INTERNAL 200>, ESTABLISHED/CONNECTED #1, "
                "TRANSFERRED/ATTEMPTING #1, ESTABLISHED/CONNECTED #1"},
        {"202", "ALERTING/ALERTING #1 <INTERNAL 201>, ESTABLISHED/CONNECTED #1"},
        {"rsp", "MAKE_CALL 0 #1, ANSWER_CALL 0, SINGLE_STEP_TRANSFER RESOURCE_BUSY, "
                "SINGLE_STEP_TRANSFER 0, ANSWER_CALL 0"}}},
      {"consultation transfer",
       {"> make 200 201", "> answer 201 1", "> consult 200 1", "> dial 200 2 202", "> answer 202 2",
        "> complete 200 2 1", "> drop 202 1"},
       {{"200", "INITIATED/DIALING #1, ATTEMPTING/ATTEMPTING #1, ESTABLISHED/CONNECTED #1, "
                "HELD/HELD #1, INITIATED/DIALING #2^1, ATTEMPTING/ATTEMPTING #2, "
                "ESTABLISHED/CONNECTED #2, TRANSFERRED/IDLE #1^2, TRANSFERRED/IDLE #2^1"},
        {"201", "ALERTING/ALERTING #1 <INTERNAL 200>, ESTABLISHED/CONNECTED #1, HELD/CONNECTED #1, "
                "TRANSFERRED/CONNECTED #1, IDLED/IDLE/REMOTE_IDLE #1"},
        {"202", "ALERTING/ALERTING #2 <INTERNAL 200>, ESTABLISHED/CONNECTED #2, "
                "TRANSFERRED/IDLE #2^1, TRANSFERRED/CONNECTED #1, IDLED/IDLE #1"},
        {"rsp", "MAKE_CALL 0 #1, ANSWER_CALL 0, SETUP_TRANSFER 0 #2, DIAL_DIGITS 0, ANSWER_CALL 0, "
                "COMPLETE_TRANSFER 0, DROP_CONNECTION 0"}}},
  });
}

TEST_F(SimCallsTest, ConferenceAddAndRemove) {
  Run({
      {"three-party conference, a party removed, then the last hangs up",
       {"> make 200 201", "> answer 201 1", "> setupconf 200 1", "> dial 200 2 202",
        "> answer 202 2", "> conf 200 2 0", "> remove 200 3 202", "> drop 201 3"},
       {{"200", "INITIATED/DIALING #1, ATTEMPTING/ATTEMPTING #1, ESTABLISHED/CONNECTED #1, "
                "HELD/HELD #1, INITIATED/DIALING #2^1, ATTEMPTING/ATTEMPTING #2, "
                "ESTABLISHED/CONNECTED #2, CONFERENCED/CONNECTED #3^1, CONFERENCED/CONNECTED #3^2, "
                "IDLED/CONNECTED #3^2, IDLED/IDLE/REMOTE_IDLE #3"},
        {"201", "ALERTING/ALERTING #1 <INTERNAL 200>, ESTABLISHED/CONNECTED #1, HELD/CONNECTED #1, "
                "CONFERENCED/CONNECTED #3^1, CONFERENCED/CONNECTED #3^2, IDLED/CONNECTED #3^2, "
                "IDLED/IDLE #3"},
        {"202", "ALERTING/ALERTING #2 <INTERNAL 200>, ESTABLISHED/CONNECTED #2, "
                "CONFERENCED/CONNECTED #3^1, CONFERENCED/CONNECTED #3^2, IDLED/IDLE #3^2, "
                "IDLED/IDLE #3"},
        {"rsp", "MAKE_CALL 0 #1, ANSWER_CALL 0, SETUP_CONFERENCE 0 #2, DIAL_DIGITS 0, "
                "ANSWER_CALL 0, CONFERENCE_CALL 0, DROP_CONFERENCE_CONNECTION 0, "
                "DROP_CONNECTION 0"}}},
  });
}

TEST_F(SimCallsTest, ParkPickupRedirect) {
  Run({
      {"park and unpark",
       {"> make 200 201", "> answer 201 1", "> park 200 1", "> pickup 202 PARK", "> pickup 202 PARK"},
       {{"200", "INITIATED/DIALING #1, ATTEMPTING/ATTEMPTING #1, ESTABLISHED/CONNECTED #1, "
                "TRANSFERRED/IDLE/PARK #1"},
        {"201", "ALERTING/ALERTING #1 <INTERNAL 200>, ESTABLISHED/CONNECTED #1, "
                "TRANSFERRED/CONNECTED/PARK #1, ESTABLISHED/CONNECTED/PARK #1"},
        {"202", "ESTABLISHED/CONNECTED/PARK #1"},
        {"rsp", "MAKE_CALL 0 #1, ANSWER_CALL 0, PARK_CALL 0, PICKUP_CALL 0, "
                "PICKUP_CALL NO_CALL_TO_PICKUP"}}},
      {"pickup of a ringing phone",
       {"> make 200 201", "> pickup 202 201"},
       {{"200", "INITIATED/DIALING #1, ATTEMPTING/ATTEMPTING #1, ESTABLISHED/CONNECTED/PICKUP #1"},
        {"201", "ALERTING/ALERTING #1 <INTERNAL 200>, IDLED/IDLE/PICKUP #1"},
        {"202", "ESTABLISHED/CONNECTED/PICKUP #1"},
        {"rsp", "MAKE_CALL 0 #1, PICKUP_CALL 0"}}},
      {"redirect of a ringing call",
       {"> make 200 201", "> redirect 200 1 202", "> redirect 201 1 202"},
       {{"200", "INITIATED/DIALING #1, ATTEMPTING/ATTEMPTING #1, ATTEMPTING/ATTEMPTING/REDIRECT #1"},
        {"201", "ALERTING/ALERTING #1 <INTERNAL 200>, REDIRECTED/IDLE/REDIRECT #1"},
        {"202", "ALERTING/ALERTING/REDIRECT #1 <INTERNAL 200>"},
        {"rsp", "MAKE_CALL 0 #1, REDIRECT_CALL INVALID_STATE, REDIRECT_CALL 0"}}},
  });
}

TEST_F(SimCallsTest, FarEndCommandsAndListedCalls) {
  Run({
      {"an outside caller with a name; the far end holds and hangs up",
       {"incoming 200 5550100 Ada Lovelace", "> answer 200 1", "hold 1 5550100",
        "retrieve 1 5550100", "hangup 1 5550100"},
       {{"200", "ALERTING/ALERTING #1 <EXTERNAL 5550100 Ada Lovelace>, ESTABLISHED/CONNECTED #1, "
                "HELD/CONNECTED #1, RETRIEVED/CONNECTED #1, IDLED/IDLE/REMOTE_IDLE #1"},
        {"rsp", "ANSWER_CALL 0"}}},
      {"a withheld caller; a phone caller that hangs up while it rings",
       {"incoming 201 -", "incoming 202 200", "hangup 2 200", "answer 1"},
       {{"200", "INITIATED/DIALING #2, ATTEMPTING/ATTEMPTING #2, IDLED/IDLE #2"},
        {"201", "ALERTING/ALERTING #1 <EXTERNAL >, ESTABLISHED/CONNECTED #1"},
        {"202", "ALERTING/ALERTING #2 <INTERNAL 200>, IDLED/IDLE/REMOTE_IDLE #2"}}},
      {"a new monitor hears the calls its phone has",
       {"> make 200 203", "> monitor 203", "> answer 203 1"},
       {{"200", "INITIATED/DIALING #1, ATTEMPTING/ATTEMPTING #1, ESTABLISHED/CONNECTED #1"},
        {"203", "LIST/ALERTING #1, ESTABLISHED/CONNECTED #1"},
        {"rsp", "MAKE_CALL 0 #1, MONITOR_START 0, ANSWER_CALL 0"}}},
  });
}
TEST_F(SimCallsTest, SwitchThatMisbehaves) {
  Run({
      {"a refused request is not carried out; a held-back one waits for its release",
       {"reply HOLD_CALL_REQ fail=21", "> make 200 201", "> answer 201 1", "> hold 200 1",
        "reply hold_call normal", "defer 270", ">> hold 200 1", "> retrieve 200 1", "release",
        "> drop 200 1"},
       {{"200", "INITIATED/DIALING #1, ATTEMPTING/ATTEMPTING #1, ESTABLISHED/CONNECTED #1, "
                "HELD/HELD #1, IDLED/IDLE #1"},
        {"201", "ALERTING/ALERTING #1 <INTERNAL 200>, ESTABLISHED/CONNECTED #1, HELD/CONNECTED #1, "
                "IDLED/IDLE/REMOTE_IDLE #1"},
        {"rsp", "MAKE_CALL 0 #1, ANSWER_CALL 0, FAILURE NOT_SUPPORTED, RETRIEVE_CALL INVALID_STATE, "
                "HOLD_CALL 0, DROP_CONNECTION 0"}}},
      {"a request's events before its response, and after it again",
       {"> make 200 201", "> answer 201 1", "reply OMBIX_HOLD_CALL_REQ events-first",
        "> hold 200 1", "reply HOLD_CALL_REQ normal", "> retrieve 200 1", "> hold 200 1"},
       {{"seq", "MAKE_CALL 0 #1, 200 INITIATED/DIALING #1, 200 ATTEMPTING/ATTEMPTING #1, "
                "ANSWER_CALL 0, 200 ESTABLISHED/CONNECTED #1, 200 HELD/HELD #1, HOLD_CALL 0, "
                "RETRIEVE_CALL 0, 200 RETRIEVED/CONNECTED #1, HOLD_CALL 0, 200 HELD/HELD #1"},
        {"201", "ALERTING/ALERTING #1 <INTERNAL 200>, ESTABLISHED/CONNECTED #1, HELD/CONNECTED #1, "
                "RETRIEVED/CONNECTED #1, HELD/CONNECTED #1"}}},
      {"a call's last event again, a call that ends unheard, an event made up",
       {"> make 200 201", "> answer 201 1", "> drop 200 1", "repeat 1", "incoming 200 5550100",
        "forget 2", "repeat 2", "call 200 202", "event 200 3 idled related=1 cause=12"},
       {{"200", "INITIATED/DIALING #1, ATTEMPTING/ATTEMPTING #1, ESTABLISHED/CONNECTED #1, "
                "IDLED/IDLE #1, IDLED/IDLE #1, ALERTING/ALERTING #2 <EXTERNAL 5550100>, "
                "ALERTING/ALERTING #2 <EXTERNAL 5550100>, ESTABLISHED/CONNECTED #3, "
                "IDLED/CONNECTED/CONFERENCE #3^1"},
        {"201", "ALERTING/ALERTING #1 <INTERNAL 200>, ESTABLISHED/CONNECTED #1, "
                "IDLED/IDLE/REMOTE_IDLE #1, IDLED/IDLE/REMOTE_IDLE #1"},
        {"rsp", "MAKE_CALL 0 #1, ANSWER_CALL 0, DROP_CONNECTION 0"}}},
  });
}
// clang-format on

TEST(SimCommands, MisbehaviourCommandsRefuseWhatTheyCannotDo) {
  SwitchSimConfig config;
  config.wPort = 0;
  SwitchSim sim(config);
  for (const char* pszLine :
       {"forget 9", "repeat 9", "event 200 9 idled", "reply FOO_REQ fail=1", "reply 271 normal",
        "reply HOLD_CALL_REQ fail=x", "reply HOLD_CALL_REQ sometimes", "defer HOLD_CALL_RSP",
        "release HOLD_CALL_REQ now"}) {
    EXPECT_EQ(sim.Command(pszLine).rfind("error: ", 0), 0u) << pszLine;
  }
  EXPECT_EQ(sim.Command("call 200 201"), "call 1");
  for (const char* pszLine : {"event 200 1 ringing", "event 200 1 idled related=x",
                              "event 202 1 idled", "event 200 1 idled cause=1 related=2 more"}) {
    EXPECT_EQ(sim.Command(pszLine).rfind("error: ", 0), 0u) << pszLine;
  }
  EXPECT_EQ(sim.Command("release"), "released 0");
  EXPECT_EQ(sim.Command("forget 1"), "ok");
  EXPECT_EQ(sim.Command("forget 1").rfind("error: ", 0), 0u);
}

}  // namespace
