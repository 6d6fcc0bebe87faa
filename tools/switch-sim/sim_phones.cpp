// The phone model: answers to the phone requests and the events that follow changes.
#include "tools/switch-sim/sim_phones.h"

#include <algorithm>
#include <ctime>
#include <sstream>

#include "switchapi/ombix_message_types.h"
#include "switchapi/ombix_values.h"
#include "switchapi/ombix_wire.h"
#include "tools/switch-sim/sim_state.h"

namespace {

// The wire format keeps a monitor's device name in 32 characters with its terminator.
constexpr std::size_t kDeviceNameKept = 31;
constexpr DWORD kPhoneFeatures = 0x1 | 0x2 | 0x20 | 0x80 | 0x100 | 0x200 | 0x2000 | 0x4000 |
                                 0x8000 | 0x800000 | 0x1000000 | 0x2000000;

class Body {
 public:
  explicit Body(DWORD dwType) { m_w.WriteDword(dwType); }
  Body& U32(DWORD dw) {
    m_w.WriteDword(dw);
    return *this;
  }
  Body& Str(const std::string& str) {
    m_w.WriteString(str.c_str());
    return *this;
  }
  Body& Oid(const ObjectId& oid) {
    m_w.WriteObjectId(oid);
    return *this;
  }
  std::vector<BYTE> Bytes() const { return {m_buffer, m_buffer + m_w.GetLength()}; }

 private:
  BYTE m_buffer[kOmbixMaxBody] = {};
  COmbixWriter m_w{m_buffer, sizeof(m_buffer)};
};

DWORD Now() {
  return static_cast<DWORD>(std::time(nullptr));
}

SimSession* SessionByNumber(SwitchSimState& state, DWORD dwSession) {
  for (auto& [peer, session] : state.sessions) {
    if (session.dwSession == dwSession) return &session;
  }
  return nullptr;
}

}  // namespace

std::vector<SimPhoneConfig> DefaultSimPhones() {
  return {{"200", "1234", ""}, {"201", "1234", ""}, {"202", "1234", ""}};
}

bool ParseSimPhone(const std::string& strText, SimPhoneConfig& phone) {
  const std::size_t first = strText.find(':');
  if (first == 0 || first == std::string::npos) return false;
  const std::size_t second = strText.find(':', first + 1);
  phone.strNumber = strText.substr(0, first);
  phone.strPassword = strText.substr(
      first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  phone.strDevice = second == std::string::npos ? "" : strText.substr(second + 1);
  return true;
}

void SimPhones::Configure(const std::vector<SimPhoneConfig>& phones) {
  m_phones.clear();
  m_byDevice.clear();
  m_monitors.clear();
  m_ownMonitors.clear();
  m_numberMonitors.clear();
  m_liveSessions.clear();
  for (const SimPhoneConfig& config : phones) {
    SimPhone phone;
    phone.config = config;
    if (phone.config.strDevice.empty()) phone.config.strDevice = config.strNumber;
    m_phones[config.strNumber] = phone;
  }
  // In number order, so each device name keeps the lowest number that carries it.
  for (const auto& [number, phone] : m_phones) {
    m_byDevice.emplace(phone.config.strDevice.substr(0, kDeviceNameKept), number);
  }
}

bool SimPhones::Answers(DWORD dwRequestType) {
  switch (dwRequestType) {
    case OMBIX_MONITOR_START_REQ:
    case OMBIX_MONITOR_STOP_REQ:
    case OMBIX_QUERY_PHONE_STATE_REQ:
    case OMBIX_QUERY_PHONE_CONFIG_REQ:
    case OMBIX_GET_CALL_FORWARDING_REQ:
    case OMBIX_SET_CALL_FORWARDING_REQ:
    case OMBIX_SET_DO_NOT_DISTURB_REQ:
      return true;
    default:
      return false;
  }
}

SimPhone* SimPhones::FindByNumber(const std::string& strNumber) {
  auto it = m_phones.find(strNumber);
  return it == m_phones.end() ? nullptr : &it->second;
}

SimPhone* SimPhones::FindByDevice(const std::string& strDevice) {
  // The first phone in number order whose device name or number it is.
  const auto byDevice = m_byDevice.find(strDevice);
  SimPhone* pByDevice = byDevice != m_byDevice.end() ? FindByNumber(byDevice->second) : nullptr;
  SimPhone* pByNumber = FindByNumber(strDevice);
  if (pByDevice == nullptr) return pByNumber;
  if (pByNumber == nullptr) return pByDevice;
  return pByNumber->config.strNumber < pByDevice->config.strNumber ? pByNumber : pByDevice;
}

void SimPhones::PruneMonitors(const SwitchSimState& state) {
  // A monitor is made for a live session only, so only a change of the sessions ends monitors.
  std::vector<DWORD> live;
  for (const auto& entry : state.sessions) live.push_back(entry.second.dwSession);
  std::sort(live.begin(), live.end());
  if (live == m_liveSessions) return;
  m_liveSessions = live;
  std::vector<DWORD> ended;
  for (const auto& [id, monitor] : m_monitors) {
    if (!std::binary_search(live.begin(), live.end(), monitor.dwSession)) ended.push_back(id);
  }
  for (DWORD dwID : ended) EraseMonitor(dwID);
}

SimMonitor* SimPhones::OwnMonitor(DWORD dwSession, const std::string& strNumber) {
  const auto it = m_ownMonitors.find({dwSession, strNumber});
  return it != m_ownMonitors.end() ? &m_monitors.at(it->second) : nullptr;
}

void SimPhones::AddMonitor(const SimMonitor& monitor) {
  m_monitors[monitor.dwMonitorID] = monitor;
  m_ownMonitors[{monitor.dwSession, monitor.strNumber}] = monitor.dwMonitorID;
  m_numberMonitors.emplace(monitor.strNumber, monitor.dwMonitorID);
}

void SimPhones::EraseMonitor(DWORD dwMonitorID) {
  const auto it = m_monitors.find(dwMonitorID);
  if (it == m_monitors.end()) return;
  const SimMonitor& monitor = it->second;
  m_ownMonitors.erase({monitor.dwSession, monitor.strNumber});
  auto [first, last] = m_numberMonitors.equal_range(monitor.strNumber);
  for (auto entry = first; entry != last; ++entry) {
    if (entry->second == dwMonitorID) {
      m_numberMonitors.erase(entry);
      break;
    }
  }
  m_monitors.erase(it);
}

std::vector<SimMonitor> SimPhones::MonitorsOf(SwitchSimState& state, const std::string& strNumber) {
  PruneMonitors(state);
  std::vector<SimMonitor> found;
  auto [first, last] = m_numberMonitors.equal_range(strNumber);
  for (auto entry = first; entry != last; ++entry) found.push_back(m_monitors.at(entry->second));
  return found;
}

void SimPhones::OnRequest(SwitchSimState& state, SimSession& session, const SimReceived& request) {
  const DWORD dwType = request.dwMsgType;
  Body rsp(dwType + 1);
  rsp.U32(request.dwInvokeID);
  std::vector<std::vector<BYTE>> after;  // events for this session behind the response
  PruneMonitors(state);
  auto ownMonitor = [&](const std::string& strNumber) {
    return OwnMonitor(session.dwSession, strNumber);
  };

  switch (dwType) {
    case OMBIX_MONITOR_START_REQ: {
      SimPhone* pPhone = FindByNumber(request.Str("strDID"));
      const std::string strDevice =
          pPhone ? pPhone->config.strDevice.substr(0, kDeviceNameKept) : std::string();
      if (pPhone == nullptr) {
        rsp.U32(OMBIX_ERROR_INVALID_DEVICE).U32(0).Str("").U32(0);
      } else if (pPhone->config.strPassword != request.Str("strPassword")) {
        rsp.U32(OMBIX_ERROR_INVALID_PASSWORD).U32(0).Str("").U32(0);
      } else if (SimMonitor* pOld = ownMonitor(pPhone->config.strNumber)) {
        rsp.U32(OMBIX_ERROR_DUPLICATE_MONITOR).U32(pOld->dwMonitorID).Str(strDevice);
        rsp.U32(DEVICE_TYPE_PHONE);
      } else {
        SimMonitor monitor{state.dwNextMonitorID++, session.dwSession, pPhone->config.strNumber};
        AddMonitor(monitor);
        rsp.U32(0).U32(monitor.dwMonitorID).Str(strDevice).U32(DEVICE_TYPE_PHONE);
        state.Queue(session, rsp.Bytes());
        state.calls.ListTo(state, monitor);
        return;
      }
      break;
    }
    case OMBIX_MONITOR_STOP_REQ: {
      SimPhone* pPhone = FindByDevice(request.Str("strDevice"));
      SimMonitor* pMonitor = pPhone ? ownMonitor(pPhone->config.strNumber) : nullptr;
      if (pMonitor == nullptr) {
        rsp.U32(pPhone ? OMBIX_ERROR_NO_MONITOR : OMBIX_ERROR_INVALID_DEVICE);
      } else {
        EraseMonitor(pMonitor->dwMonitorID);
        rsp.U32(0);
      }
      break;
    }
    case OMBIX_QUERY_PHONE_STATE_REQ: {
      SimPhone* pPhone = FindByDevice(request.Str("strAgent"));
      SimMonitor* pMonitor = pPhone ? ownMonitor(pPhone->config.strNumber) : nullptr;
      if (pMonitor == nullptr) {
        rsp.U32(pPhone ? OMBIX_ERROR_NO_MONITOR : OMBIX_ERROR_INVALID_DEVICE);
        break;
      }
      rsp.U32(0);
      state.Queue(session, rsp.Bytes());
      SendPhoneState(state, *pPhone, PHONE_STATE_QUERY, *pMonitor);
      return;
    }
    case OMBIX_QUERY_PHONE_CONFIG_REQ: {
      SimPhone* pPhone = FindByDevice(request.Str("strAgent"));
      if (pPhone == nullptr) {
        rsp.U32(OMBIX_ERROR_INVALID_DEVICE);
        break;
      }
      rsp.U32(0).Str("switch-sim").U32(pPhone->config.dwMaxCalls).U32(pPhone->config.dwConfLimit);
      rsp.U32(kPhoneFeatures).U32(0).U32(0);
      rsp.U32(1).Str(pPhone->config.strNumber).Str("Phone " + pPhone->config.strNumber);
      rsp.U32(DEVICE_TYPE_PHONE);
      rsp.Str("").Str(request.Str("strPhone"));  // the phone password is never handed out
      break;
    }
    case OMBIX_GET_CALL_FORWARDING_REQ: {
      SimPhone* pPhone = FindByDevice(request.Str("strDevice"));
      rsp.U32(pPhone ? 0 : OMBIX_ERROR_INVALID_DEVICE);
      for (int i = 0; i < 4; ++i) rsp.Str(pPhone ? pPhone->astrForward[i] : "");
      break;
    }
    case OMBIX_SET_CALL_FORWARDING_REQ: {
      const DWORD dwMode = request.Dword("dwForwardMode");
      SimPhone* pPhone = FindByDevice(request.Str("strDevice"));
      if (pPhone == nullptr || dwMode > CALL_FORWARD_OUT_OF_SERVICE) {
        rsp.U32(pPhone ? OMBIX_ERROR_INVALID_PARAMETER : OMBIX_ERROR_INVALID_DEVICE);
        break;
      }
      state.Queue(session, rsp.U32(0).Bytes());
      SetForwarding(state, pPhone->config.strNumber, dwMode, request.Str("strForwardTo"));
      return;
    }
    case OMBIX_SET_DO_NOT_DISTURB_REQ: {
      SimPhone* pPhone = FindByDevice(request.Str("strDevice"));
      if (pPhone == nullptr) {
        rsp.U32(OMBIX_ERROR_INVALID_DEVICE);
        break;
      }
      state.Queue(session, rsp.U32(0).Bytes());
      SetDoNotDisturb(state, pPhone->config.strNumber, request.Dword("dwOn") != 0);
      return;
    }
    default:
      return;
  }
  state.Queue(session, rsp.Bytes());
}

void SimPhones::SendPhoneState(SwitchSimState& state, const SimPhone& phone, DWORD dwEvent,
                               const SimMonitor& monitor) {
  SimSession* pSession = SessionByNumber(state, monitor.dwSession);
  if (pSession == nullptr) return;
  bool bForwarding = false;
  for (const std::string& strTo : phone.astrForward) bForwarding = bForwarding || !strTo.empty();
  Body event(OMBIX_PHONE_STATE_EVENT);
  event.U32(monitor.dwMonitorID).Str(phone.config.strDevice).U32(dwEvent).U32(Now());
  event.U32(phone.bInService ? 1 : 0).U32(phone.bDoNotDisturb ? 1 : 0).U32(phone.dwMessages);
  event.U32(bForwarding ? 1 : 0).U32(0).U32(0).U32(phone.dwMessages).U32(0);
  event.U32(0).Str(phone.config.strNumber);  // dwServiceSuspended, strPhone
  state.Queue(*pSession, event.Bytes());
}

void SimPhones::SendPhoneStateToAll(SwitchSimState& state, const SimPhone& phone, DWORD dwEvent) {
  for (const SimMonitor& monitor : MonitorsOf(state, phone.config.strNumber)) {
    SendPhoneState(state, phone, dwEvent, monitor);
  }
}

std::string SimPhones::SetInService(SwitchSimState& state, const std::string& strNumber,
                                    bool bInService) {
  SimPhone* pPhone = FindByNumber(strNumber);
  if (pPhone == nullptr) return "no phone " + strNumber;
  pPhone->bInService = bInService;
  SendPhoneStateToAll(state, *pPhone,
                      bInService ? PHONE_STATE_IN_SERVICE : PHONE_STATE_OUT_OF_SERVICE);
  return "";
}

std::string SimPhones::SetMessages(SwitchSimState& state, const std::string& strNumber,
                                   DWORD dwMessages) {
  SimPhone* pPhone = FindByNumber(strNumber);
  if (pPhone == nullptr) return "no phone " + strNumber;
  pPhone->dwMessages = dwMessages;
  SendPhoneStateToAll(state, *pPhone, PHONE_STATE_MESSAGE_WAITING);
  return "";
}

std::string SimPhones::SetDoNotDisturb(SwitchSimState& state, const std::string& strNumber,
                                       bool bOn) {
  SimPhone* pPhone = FindByNumber(strNumber);
  if (pPhone == nullptr) return "no phone " + strNumber;
  pPhone->bDoNotDisturb = bOn;
  SendPhoneStateToAll(state, *pPhone, PHONE_STATE_DO_NOT_DISTURB);
  return "";
}

std::string SimPhones::SetForwarding(SwitchSimState& state, const std::string& strNumber,
                                     DWORD dwMode, const std::string& strTo) {
  SimPhone* pPhone = FindByNumber(strNumber);
  if (pPhone == nullptr) return "no phone " + strNumber;
  if (dwMode > CALL_FORWARD_OUT_OF_SERVICE) return "no forwarding mode " + std::to_string(dwMode);
  pPhone->astrForward[dwMode] = strTo;
  SendPhoneStateToAll(state, *pPhone, PHONE_STATE_CALL_FORWARDING);
  return "";
}

std::string SimPhones::Describe(const SwitchSimState& state) const {
  std::ostringstream out;
  for (const auto& [number, phone] : m_phones) {
    out << "phone " << number << " device " << phone.config.strDevice
        << (phone.bInService ? " in service" : " out of service")
        << (phone.bDoNotDisturb ? ", do not disturb" : "") << ", " << phone.dwMessages
        << " messages";
    static const char* const kModes[] = {"all", "busy", "noanswer", "outofservice"};
    for (int i = 0; i < 4; ++i) {
      if (!phone.astrForward[i].empty())
        out << ", forward " << kModes[i] << " " << phone.astrForward[i];
    }
    out << "\n";
  }
  for (const auto& [id, monitor] : m_monitors) {
    const bool bLive =
        std::any_of(state.sessions.begin(), state.sessions.end(),
                    [&](const auto& e) { return e.second.dwSession == monitor.dwSession; });
    if (bLive) {
      out << "monitor " << monitor.dwMonitorID << " on " << monitor.strNumber << " by session "
          << monitor.dwSession << "\n";
    }
  }
  return out.str();
}
