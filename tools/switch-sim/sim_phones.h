// The sim's phones: what a switch knows of each configured telephone (service state, do not
// disturb, forwarding, waiting messages) and the monitors that clients
// keep on them. The sim answers the monitor, phone-state, phone-configuration, forwarding and
// do-not-disturb requests from it and tells every monitor of a phone what changes there.
//
// Everything here is part of SwitchSimState and runs under its mutex. A monitor belongs to one
// session and ends with it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/wintypes.h"
#include "tools/switch-sim/switch_sim.h"

struct SwitchSimState;
struct SimSession;

struct SimPhone {
  SimPhoneConfig config;
  bool bInService = true;
  bool bDoNotDisturb = false;
  DWORD dwMessages = 0;
  std::string astrForward[4];  // by CALL_FORWARD_* mode; empty: not forwarded
};

struct SimMonitor {
  DWORD dwMonitorID = 0;
  DWORD dwSession = 0;  // SimSession::dwSession
  std::string strNumber;
};

class SimPhones {
 public:
  void Configure(const std::vector<SimPhoneConfig>& phones);

  // Whether the model answers this request type itself.
  static bool Answers(DWORD dwRequestType);
  // Answers the request for the session, and sends what the request changes to the monitors.
  void OnRequest(SwitchSimState& state, SimSession& session, const SimReceived& request);

  // Commands; each returns an empty string or what is wrong.
  std::string SetInService(SwitchSimState& state, const std::string& strNumber, bool bInService);
  std::string SetMessages(SwitchSimState& state, const std::string& strNumber, DWORD dwMessages);
  std::string SetDoNotDisturb(SwitchSimState& state, const std::string& strNumber, bool bOn);
  std::string SetForwarding(SwitchSimState& state, const std::string& strNumber, DWORD dwMode,
                            const std::string& strTo);
  // One line per phone and per live monitor.
  std::string Describe(const SwitchSimState& state) const;

  SimPhone* FindByNumber(const std::string& strNumber);
  // By device name as a monitor names it (cut to the wire's 31 characters), or by number.
  SimPhone* FindByDevice(const std::string& strDevice);
  // The live monitors of a phone (monitors of ended sessions are dropped first).
  std::vector<SimMonitor> MonitorsOf(SwitchSimState& state, const std::string& strNumber);

 private:
  void SendPhoneState(SwitchSimState& state, const SimPhone& phone, DWORD dwEvent,
                      const SimMonitor& monitor);
  void SendPhoneStateToAll(SwitchSimState& state, const SimPhone& phone, DWORD dwEvent);
  void PruneMonitors(const SwitchSimState& state);
  // The session's monitor of the phone; NULL when it has none.
  SimMonitor* OwnMonitor(DWORD dwSession, const std::string& strNumber);
  void AddMonitor(const SimMonitor& monitor);
  void EraseMonitor(DWORD dwMonitorID);

  // Indexed, so that a switch of tens of thousands of phones answers each request at once.
  std::map<std::string, SimPhone> m_phones;       // by number
  std::map<std::string, std::string> m_byDevice;  // cut device name -> lowest number
  std::map<DWORD, SimMonitor> m_monitors;         // by ID: the order they were made in
  std::map<std::pair<DWORD, std::string>, DWORD> m_ownMonitors;  // (session, number) -> ID
  std::multimap<std::string, DWORD> m_numberMonitors;            // number -> IDs, made in order
  std::vector<DWORD> m_liveSessions;  // the sessions the monitors were last pruned for
};

// The phones the sim serves when none are configured: 200, 201 and 202, password "1234".
std::vector<SimPhoneConfig> DefaultSimPhones();
// "NUMBER:PASSWORD[:DEVICE]"; false when the text is not of that form.
bool ParseSimPhone(const std::string& strText, SimPhoneConfig& phone);
