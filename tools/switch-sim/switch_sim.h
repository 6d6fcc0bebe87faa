// SwitchSim: a simulated Telephony Server on a UDP socket, for tests (run inside their own
// process) and for trying the provider here (the switch-sim program).
//
// It follows the link rules from the server's side, with one session per client endpoint
// (address and port): a login (sequence 0) is accepted, refused with a result code, or ignored;
// every sequenced datagram is acknowledged, repeats (expected - 1) included, and acted on once;
// any other sequence number ends the session with OMBIX_DISCONNECT. Its own datagrams are
// numbered from 0 per session (the login response first), sent one at a time, resent until
// acknowledged and, after the last resend goes unanswered, the session is given up with
// OMBIX_DISCONNECT. Every request is answered with its response type (request + 1), the echoed
// dwInvokeID and the configured result code (after a refused login: the refusal's code); a type
// that is no request gets OMBIX_FAILURE_RSP with OMBIX_ERROR_INVALID_MSG_TYPE. A sequenced
// datagram from an endpoint without a session (e.g. after Restart) is answered with
// OMBIX_DISCONNECT so that the client logs in anew.
//
// Thread safety: every public member may be called from any thread; the sim's own thread does all
// receiving, acknowledging, resending and pinging, and sleeps until a datagram comes, a timer is
// due or another thread changes something. Records and counters are returned as copies.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"
#include "switchapi/ombix_wire.h"

enum class SimLoginPolicy {
  kAccept,  // acknowledge and answer OMBIX_LOGIN_RSP with dwError 0
  kRefuse,  // acknowledge and answer OMBIX_LOGIN_RSP with SwitchSimConfig::dwLoginError
  kIgnore,  // neither acknowledge nor answer: the client's login rounds time out
};

// A request result meaning "acknowledge the request but never answer it".
inline constexpr DWORD kSimNoAnswer = 0xFFFFFFFF;

// Faults, each drawn from its own generator seeded from SwitchSimConfig::dwSeed, so the same seed
// and the same traffic give the same faults. Shares run from 0 (never) to 1 (always).
struct SimFaults {
  double dDropReceived = 0;   // received datagrams discarded before they are looked at
  double dDropSent = 0;       // sent datagrams (acknowledgements included) never sent
  double dDuplicateSent = 0;  // sent datagrams sent twice
  double dDelaySent = 0;      // sent datagrams held back by delay
  std::chrono::milliseconds delay{0};
};

// One telephone of the switch: a client monitors it by number with its password; the switch
// names it by its device name (the number when none is given).
struct SimPhoneConfig {
  std::string strNumber;
  std::string strPassword;
  std::string strDevice;
  DWORD dwMaxCalls = 4;   // as the phone configuration reports it
  DWORD dwConfLimit = 3;  // likewise
};

std::vector<SimPhoneConfig> DefaultSimPhones();

struct SwitchSimConfig {
  std::string strAddress = "127.0.0.1";
  WORD wPort = kOmbixServerPort;  // 0: the system picks a free port (see SwitchSim::GetPort)

  SimLoginPolicy loginPolicy = SimLoginPolicy::kAccept;
  DWORD dwLoginError = 13;  // OMBIX_ERROR_LOGIN_DENIED

  // dwError of the response to each request type; types not listed get dwDefaultResult.
  // kSimNoAnswer leaves a request unanswered.
  std::map<DWORD, DWORD> mapResults;
  DWORD dwDefaultResult = 0;
  // Request types answered with OMBIX_FAILURE_RSP carrying the code instead; they are not
  // carried out. Ahead of mapResults.
  std::map<DWORD, DWORD> mapFailures;
  // Request types whose call events go out before their response rather than after it.
  std::set<DWORD> setEventsFirst;

  SimFaults faults;
  DWORD dwSeed = 1;

  std::chrono::milliseconds ackTimeout{2000};     // resend an own datagram after this long
  DWORD dwMaxRetries = 4;                         // resends before the session is given up
  std::chrono::milliseconds pingInterval{60000};  // idle time before OMBIX_PING; 0: never
  // Received() keeps the newest this many records; older ones are forgotten (counters are not).
  std::size_t nReceivedKept = 1000;

  // The phones; monitors, phone-state, phone-configuration, forwarding and do-not-disturb
  // requests are answered from them (unless mapResults names the request type).
  std::vector<SimPhoneConfig> phones = DefaultSimPhones();
  // A call to an outside number is answered this long after it starts ringing; a phone
  // forwarded on no answer rings this long before the call moves on.
  std::chrono::milliseconds outsideAnswerDelay{3000};
  std::chrono::milliseconds noAnswerDelay{15000};

  // A line per event of note: sessions beginning and ending, errors, the sim stopping and
  // starting again; null: silent.
  std::ostream* pLog = nullptr;
  // Also one short line per datagram received and sent (faults included) and the link's small
  // print: stale acknowledgements, requests left unanswered, ignored logins, probes.
  bool bLogDatagrams = false;
  // Also the protocol trace's field-by-field dumps (acknowledgements and pings included), in the
  // client's terms: what the sim receives is dumped as sent by the client, and the other way.
  std::FILE* pTrace = nullptr;
};

// One decoded field of a received request.
struct SimField {
  enum class Kind { kDword, kString, kObjectId };
  std::string strName;  // as the protocol names it, e.g. "strNumber"
  Kind kind = Kind::kDword;
  DWORD dwValue = 0;
  std::string strValue;
  ObjectId oidValue{};
};

// One sequenced datagram the sim acted on (logins, pings, requests, disconnects), once per
// sequence number of its session, in arrival order; the newest SwitchSimConfig::nReceivedKept.
struct SimReceived {
  DWORD dwSession = 0;   // 1, 2, ... in the order sessions began
  DWORD dwPeerAddr = 0;  // host order
  WORD wPeerPort = 0;
  DWORD dwMsgSeq = 0;
  DWORD dwMsgType = 0;
  DWORD dwInvokeID = 0;          // first body field of a request, else 0
  std::vector<SimField> fields;  // the fields after dwInvokeID of the requests the client sends
  std::vector<BYTE> body;        // the raw bytes after the header
  DWORD dwRepeats = 0;           // times the same number came again afterwards

  const SimField* Find(std::string_view name) const;
  // The named field's value; empty, 0 or zero bytes when there is no such field.
  std::string Str(std::string_view name) const;
  DWORD Dword(std::string_view name) const;
  ObjectId Oid(std::string_view name) const;
};

struct SimCounters {
  DWORD dwReceived = 0;  // datagrams taken in (after receive drops)
  DWORD dwLogins = 0;    // logins accepted (repeats of one login count once)
  DWORD dwLoginsRefused = 0;
  DWORD dwLoginsIgnored = 0;
  DWORD dwAcksSent = 0;
  DWORD dwAcksReceived = 0;  // acknowledgements of the outstanding datagram
  DWORD dwStaleAcks = 0;     // acknowledgements of anything else
  DWORD dwRepeatsSeen = 0;
  DWORD dwResponsesSent = 0;  // first sends; resends are counted apart
  DWORD dwResends = 0;
  DWORD dwPingsSent = 0;
  DWORD dwDisconnectsSent = 0;
  DWORD dwDisconnectsReceived = 0;
  DWORD dwSequenceErrors = 0;
  DWORD dwSessionsGivenUp = 0;  // own datagram unacknowledged after the last resend
  DWORD dwDiscardedSilent = 0;  // received while silent
  DWORD dwDroppedReceived = 0;
  DWORD dwDroppedSent = 0;
  DWORD dwDuplicatedSent = 0;
  DWORD dwDelayedSent = 0;
};

struct SimSessionInfo {
  DWORD dwSession = 0;
  DWORD dwPeerAddr = 0;  // host order
  WORD wPeerPort = 0;
  bool bLoggedIn = false;  // the login was accepted (a refused one keeps its session)
  DWORD dwNextSendSeq = 0;
  DWORD dwExpectedRecvSeq = 0;
  bool bOutstanding = false;
  DWORD dwOutstandingSeq = 0;
  std::size_t nQueued = 0;  // own datagrams waiting behind the outstanding one
};

struct SwitchSimState;  // the sim's inner state

class SwitchSim {
 public:
  explicit SwitchSim(SwitchSimConfig config = {});
  ~SwitchSim();  // Stop
  SwitchSim(const SwitchSim&) = delete;
  SwitchSim& operator=(const SwitchSim&) = delete;

  // Binds the socket and starts the sim's thread; false (see GetLastError) when it cannot bind.
  // A second Start binds the port bound before. True at once when already running.
  bool Start();
  // Ends the thread and closes the socket; sessions are forgotten, nothing is sent.
  void Stop();
  // Stop, wait downtime, Start again on the same port (the bound one when port 0 was asked for):
  // every session, queued datagram and sequence number is forgotten; records and counters stay.
  bool Restart(std::chrono::milliseconds downtime = std::chrono::milliseconds(0));

  bool IsRunning() const;
  WORD GetPort() const;  // the bound port, 0 before the first Start
  std::string GetLastError() const;

  // While silent the sim reads and discards everything and sends nothing of its own accord: no
  // acknowledgements, answers, resends or pings (the commands below still send). Resend timers
  // restart when it speaks again.
  void GoSilent(bool bSilent);
  // OMBIX_DISCONNECT (numbered) to every session, which is then forgotten.
  void SendDisconnect();
  // A numbered datagram of the given type and body to every session, queued behind its own.
  void QueueMessage(DWORD dwMsgType, const std::vector<BYTE>& body = {});
  // The bytes as they are, unnumbered, to every session's client; faults are not applied.
  void SendRaw(const std::vector<BYTE>& datagram);

  void SetLoginPolicy(SimLoginPolicy policy, DWORD dwLoginError = 13);
  void SetResult(DWORD dwRequestType, DWORD dwResult);
  void SetFaults(const SimFaults& faults);

  std::vector<SimReceived> Received() const;
  std::vector<SimReceived> ReceivedOfType(DWORD dwMsgType) const;
  SimCounters Counters() const;
  std::vector<SimSessionInfo> Sessions() const;

  // Carries out one command line (see sim_commands.h for the commands); returns what it prints,
  // which starts with "error: " when the line is not understood or cannot be carried out.
  std::string Command(const std::string& strLine);

  // Waits until pred() holds or the time-out passes; pred is looked at after every datagram the
  // sim handles and may call the accessors above. True when it held.
  bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout);

 private:
  void Run();

  std::unique_ptr<SwitchSimState> m_pState;
};
