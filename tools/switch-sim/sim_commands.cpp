#include "tools/switch-sim/sim_commands.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <istream>
#include <ostream>
#include <sstream>
#include <thread>
#include <vector>

#include "switchapi/ombix_values.h"
#include "tools/switch-sim/sim_state.h"
#include "tools/switch-sim/switch_sim.h"

const char kSimCommandHelp[] =
    "commands (one a line; '#' starts a comment):\n"
    "  out-of-service PHONE | in-service PHONE\n"
    "  messages PHONE COUNT\n"
    "  dnd PHONE on|off\n"
    "  forward PHONE all|busy|noanswer|outofservice [NUMBER]\n"
    "  call PHONE OTHER [connected|alerting|held]\n"
    "  incoming PHONE FROM|- [NAME...]\n"
    "  answer CALL [PARTY]\n"
    "  hold CALL PARTY | retrieve CALL PARTY\n"
    "  hangup CALL [PARTY]\n"
    "  outside NUMBER answer|noanswer|busy|unreachable\n"
    "  answer-delay MS\n"
    "  repeat CALL | forget CALL\n"
    "  event PHONE CALL EVENT [related=CALL] [cause=CAUSE]\n"
    "  reply REQUEST normal|fail=CODE|events-first\n"
    "  defer REQUEST | release [REQUEST]\n"
    "  disconnect\n"
    "  silent on|off\n"
    "  restart [MS]\n"
    "  login accept|refuse[=CODE]|ignore\n"
    "  status\n"
    "  wait MS\n"
    "  help\n";

namespace {

bool ParseCount(const std::string& text, DWORD& dwValue) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
  if (value > 0xFFFFFFFFull) return false;
  dwValue = static_cast<DWORD>(value);
  return true;
}

bool ParseOnOff(const std::string& text, bool& bOn) {
  if (text != "on" && text != "off") return false;
  bOn = text == "on";
  return true;
}

// "NAME=VALUE" with a number for VALUE.
bool ParseNamed(const std::string& text, const char* pszName, DWORD& dwValue) {
  const std::string prefix = std::string(pszName) + "=";
  return text.rfind(prefix, 0) == 0 && ParseCount(text.substr(prefix.size()), dwValue);
}

// A call-connection event by the end of its name, in any case ("idled").
bool ParseCallEvent(const std::string& text, DWORD& dwEvent) {
  std::string strName = "CALL_CONNECTION_";
  for (char c : text) strName += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (DWORD dwCandidate = CALL_CONNECTION_LIST; dwCandidate <= CALL_CONNECTION_PASSIVE;
       ++dwCandidate) {
    if (strName == CallConnectionEventName(dwCandidate)) {
      dwEvent = dwCandidate;
      return true;
    }
  }
  return false;
}

std::string Error(const std::string& what) {
  return "error: " + what;
}

}  // namespace

std::string SwitchSim::Command(const std::string& strLine) {
  std::istringstream in(strLine);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  if (words.empty() || words[0][0] == '#') return "";
  const std::string& verb = words[0];
  const std::size_t n = words.size();
  const std::string usage = Error("usage: see help");
  SwitchSimState& s = *m_pState;
  // The phone commands change the model and queue events under the sim's lock.
  auto phones = [&s](auto action) {
    std::lock_guard<std::mutex> lock(s.mutex);
    std::string strError = action(s.phones);
    s.Changed();
    return strError.empty() ? std::string("ok") : Error(strError);
  };
  auto calls = [&s](auto action) {
    std::lock_guard<std::mutex> lock(s.mutex);
    std::string strError = action(s.calls);
    s.Changed();
    return strError.empty() ? std::string("ok") : Error(strError);
  };
  DWORD dwValue = 0;
  bool bOn = false;

  if (verb == "help") return kSimCommandHelp;
  if ((verb == "out-of-service" || verb == "in-service") && n == 2) {
    return phones([&](SimPhones& p) { return p.SetInService(s, words[1], verb == "in-service"); });
  }
  if (verb == "messages" && n == 3 && ParseCount(words[2], dwValue)) {
    return phones([&](SimPhones& p) { return p.SetMessages(s, words[1], dwValue); });
  }
  if (verb == "dnd" && n == 3 && ParseOnOff(words[2], bOn)) {
    return phones([&](SimPhones& p) { return p.SetDoNotDisturb(s, words[1], bOn); });
  }
  if (verb == "forward" && (n == 3 || n == 4)) {
    static const char* const kModes[] = {"all", "busy", "noanswer", "outofservice"};
    for (DWORD dwMode = 0; dwMode < 4; ++dwMode) {
      if (words[2] != kModes[dwMode]) continue;
      const std::string strTo = n == 4 ? words[3] : "";
      return phones([&](SimPhones& p) { return p.SetForwarding(s, words[1], dwMode, strTo); });
    }
    return usage;
  }
  if (verb == "call" && (n == 3 || n == 4)) {
    const std::string state = n == 4 ? words[3] : "connected";
    const LONG lState = state == "connected"  ? CS_CONNECTED
                        : state == "alerting" ? CS_ALERTING
                        : state == "held"     ? CS_HELD
                                              : CS_UNKNOWN;
    if (lState == CS_UNKNOWN) return usage;
    DWORD dwCall = 0;
    const std::string answer =
        calls([&](SimCalls& c) { return c.Put(s, words[1], words[2], lState, &dwCall); });
    return answer == "ok" ? "call " + std::to_string(dwCall) : answer;
  }
  if (verb == "incoming" && n >= 3) {
    std::string strName;
    for (std::size_t i = 3; i < n; ++i) strName += (i > 3 ? " " : "") + words[i];
    const std::string strFrom = words[2] == "-" ? "" : words[2];
    DWORD dwCall = 0;
    const std::string answer =
        calls([&](SimCalls& c) { return c.Incoming(s, words[1], strFrom, strName, &dwCall); });
    return answer == "ok" ? "call " + std::to_string(dwCall) : answer;
  }
  if ((verb == "answer" || verb == "hangup") && (n == 2 || n == 3) &&
      ParseCount(words[1], dwValue)) {
    const std::string strParty = n == 3 ? words[2] : "";
    return calls([&](SimCalls& c) {
      return verb == "answer" ? c.Answer(s, dwValue, strParty) : c.Hangup(s, dwValue, strParty);
    });
  }
  if ((verb == "hold" || verb == "retrieve") && n == 3 && ParseCount(words[1], dwValue)) {
    return calls([&](SimCalls& c) { return c.Hold(s, dwValue, words[2], verb == "hold"); });
  }
  if (verb == "outside" && n == 3) {
    static const std::pair<const char*, SimOutsideRule> kRules[] = {
        {"answer", SimOutsideRule::kAnswer},
        {"noanswer", SimOutsideRule::kNoAnswer},
        {"busy", SimOutsideRule::kBusy},
        {"unreachable", SimOutsideRule::kUnreachable}};
    for (const auto& [pszName, rule] : kRules) {
      if (words[2] != pszName) continue;
      return calls([&](SimCalls& c) {
        c.SetOutside(words[1], rule);
        return std::string();
      });
    }
    return usage;
  }
  if (verb == "answer-delay" && n == 2 && ParseCount(words[1], dwValue)) {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.config.outsideAnswerDelay = std::chrono::milliseconds(dwValue);
    return "ok";
  }
  if ((verb == "repeat" || verb == "forget") && n == 2 && ParseCount(words[1], dwValue)) {
    return calls([&](SimCalls& c) {
      return verb == "repeat" ? c.Repeat(s, dwValue) : c.Forget(dwValue);
    });
  }
  if (verb == "event" && n >= 4 && n <= 6 && ParseCount(words[2], dwValue)) {
    DWORD dwEvent = 0;
    DWORD dwRelated = 0;
    DWORD dwCause = EC_NONE;
    if (!ParseCallEvent(words[3], dwEvent)) return usage;
    for (std::size_t i = 4; i < n; ++i) {
      if (!ParseNamed(words[i], "related", dwRelated) && !ParseNamed(words[i], "cause", dwCause))
        return usage;
    }
    return calls([&](SimCalls& c) {
      return c.TellEvent(s, words[1], dwValue, dwEvent, dwCause, dwRelated);
    });
  }
  DWORD dwType = 0;
  if (verb == "reply" && n == 3 && ParseRequestType(words[1], dwType)) {
    DWORD dwCode = 0;
    const bool bFail = ParseNamed(words[2], "fail", dwCode);
    if (!bFail && words[2] != "normal" && words[2] != "events-first") return usage;
    std::lock_guard<std::mutex> lock(s.mutex);
    s.config.mapFailures.erase(dwType);
    s.config.setEventsFirst.erase(dwType);
    if (bFail) s.config.mapFailures[dwType] = dwCode;
    if (words[2] == "events-first") s.config.setEventsFirst.insert(dwType);
    return "ok";
  }
  if (verb == "defer" && n == 2 && ParseRequestType(words[1], dwType)) {
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.mapDeferNext[dwType];
    return "ok";
  }
  if (verb == "release" && (n == 1 || ParseRequestType(words[1], dwType)) && n <= 2) {
    std::lock_guard<std::mutex> lock(s.mutex);
    const std::size_t nDone = s.ReleaseDeferred(dwType);
    s.Changed();
    return "released " + std::to_string(nDone);
  }
  if (verb == "disconnect" && n == 1) {
    SendDisconnect();
    return "ok";
  }
  if (verb == "silent" && n == 2 && ParseOnOff(words[1], bOn)) {
    GoSilent(bOn);
    return "ok";
  }
  if (verb == "restart" && n <= 2) {
    if (n == 2 && !ParseCount(words[1], dwValue)) return usage;
    return Restart(std::chrono::milliseconds(dwValue)) ? "ok" : Error(GetLastError());
  }
  if (verb == "login" && n == 2) {
    if (words[1] == "accept" || words[1] == "ignore") {
      SetLoginPolicy(words[1] == "accept" ? SimLoginPolicy::kAccept : SimLoginPolicy::kIgnore);
      return "ok";
    }
    if (words[1] == "refuse") {
      SetLoginPolicy(SimLoginPolicy::kRefuse);
      return "ok";
    }
    if (words[1].rfind("refuse=", 0) == 0 && ParseCount(words[1].substr(7), dwValue)) {
      SetLoginPolicy(SimLoginPolicy::kRefuse, dwValue);
      return "ok";
    }
    return usage;
  }
  if (verb == "status" && n == 1) {
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.phones.Describe(s) + s.calls.Describe();
  }
  if (verb == "wait" && n == 2 && ParseCount(words[1], dwValue)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(dwValue));
    return "";
  }
  return Error("not understood: " + strLine);
}

void RunSimCommands(SwitchSim& sim, std::istream& in, std::ostream& out) {
  for (std::string line; std::getline(in, line);) {
    const std::string answer = sim.Command(line);
    if (answer.empty()) continue;
    out << answer;
    if (answer.back() != '\n') out << '\n';
    out.flush();
  }
}
