// COmbixLine: the switch provider's line, one configured phone (number and password) shown to
// TAPI as one line device with one address. Here: its set-up from the settings, the open that
// starts its monitor on the switch, the restart of the monitor after every login, the phone-state,
// phone-configuration and forwarding answers, and the check of its calls after a lost link.
//
// Contract:
// - Init reads the line's number and password from "Line.%X.Number"/"Line.%X.Password" of the
//   provider ID's key, derives the device string (the switch's name for the phone) and makes the
//   one address.
// - The line starts out of service; a login puts it in service, a refused login, a lost link, a
//   refused monitor start or the switch's word takes it out.
// - OpenConnection (a TAPI thread) waits up to the monitor-start wait for the monitor's answer
//   and returns TRUE in every case. A monitor start goes out only while the link is logged in:
//   a login that comes during the open's wait starts the monitor through RestartMonitor.
// - The device calls the On* operations, SetInService, SetOutOfService and RestartMonitor on the
//   link's worker thread, one at a time; they never wait for a TAPI thread.
// - After a lost link, the first monitor start that succeeds starts the resynchronisation: a
//   thread of the line that waits the resync delay for the switch's call list, then idles every
//   call of address 0 that the list did not name. The line joins that thread before it goes; a
//   destruction during the wait ends it at once, without touching the calls.
// - Flags, the monitor ID and the stored error are atomic words, read by any thread; the strings
//   and the reported call numbers change under the object's lock.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/line_connection.h"
#include "platform/afx_string.h"
#include "platform/afxmt.h"
#include "switchapi/ombix_events.h"
#include "switchapi/ombix_msg.h"

class COmbixDevice;

// LINEINDEXQUERY on TAPI's generic dialog data channel: {query, TAPI device ID} from the UI side,
// answered in place with {answer, line index}.
inline constexpr DWORD OMBIX_LINEINDEX_QUERY = 0xFFFF0001;
inline constexpr DWORD OMBIX_LINEINDEX_ANSWER = 0xFFFF0002;
struct LINEINDEXQUERY {
  DWORD dwCode;
  DWORD dwValue;
};
static_assert(sizeof(LINEINDEXQUERY) == 8);

// The line's waits. The defaults are the provider's; tests shorten them.
struct OMBIXLINETIMING {
  DWORD dwMonitorStartWait = 5000;  // ms an opening line waits for its monitor's answer
  DWORD dwResyncDelay = 6000;       // ms the switch is given to list its calls after a reconnect
};

inline constexpr DWORD kOmbixDefaultPingTimer = 60000;

class COmbixLine : public CTSPILineConnection {
  DECLARE_DYNCREATE(COmbixLine)
 public:
  COmbixLine();
  ~COmbixLine() override;

  void Init(CTSPIDevice* pDevice, DWORD dwLineDeviceID, DWORD dwPos,
            DWORD_PTR dwItemData = 0) override;
  BOOL OpenConnection() override;

  // Service state, set by the device as the link comes, fails or goes.
  virtual void SetInService();
  // bReconnect: the link was lost, so the calls are checked again once the monitor is back.
  virtual void SetOutOfService(BOOL bReconnect);
  // After every successful login: the switch forgot the monitor.
  virtual void RestartMonitor();

  // What the switch sends for this line (routed by the device).
  virtual void OnMonitorStartRsp(const COmbixMonitorRsp* pRsp);
  virtual void OnHoldCallRsp(const COmbixRsp* pRsp);
  virtual void OnGetCallForwardingRsp(const COmbixCallForwardingRsp* pRsp);
  virtual void OnQueryPhoneConfigRsp(const COmbixPhoneConfigRsp* pRsp);
  // Every other response, OMBIX_FAILURE_RSP included.
  virtual void OnResponse(const COmbixRsp* pRsp);
  // Here only the switch's call list is noted for the resynchronisation.
  virtual void OnCallConnectionEvent(const COmbixCallConnectionEvent* pEvent);
  virtual void OnPhoneStateEvent(const COmbixPhoneStateEvent* pEvent);

  // Idles every call of address 0 whose call number the switch did not list since the
  // resynchronisation began, then forgets the list.
  virtual void ResyncCalls();
  // Ends the resynchronisation thread (at once while it waits) and joins it; none starts after.
  // The device calls it for every line before the lines go, so that no thread of a line still
  // runs while a derived line's destructor takes its table down.
  void StopResync();

  // Answers LINEINDEXQUERY; other dialog data is left as it came. 0 in every case.
  LONG GenericDialogData(TSPIDIALOGINSTANCE* pDlgInst, LPVOID lpParams, DWORD dwSize) override;

  // The switch device name a phone number stands for: with a lower-case "x" in it, the part
  // before it when the part after it is empty or ends it, else the part after it.
  static CString DeviceStringFromNumber(LPCSTR pszNumber);

  DWORD GetLineIndex() const { return m_dwLineIndex.load(); }
  DWORD GetMonitorID() const { return m_dwMonitorID.load(); }
  BOOL IsOutOfService() const { return m_dwOutOfService.load(); }
  BOOL IsReconnectPending() const { return m_dwReconnectPending.load(); }
  // The stored line error: a switch result code, 0 for none.
  DWORD GetLineError() const { return m_dwLineError.load(); }
  CString GetNumber() const;
  CString GetPassword() const;
  CString GetDeviceString() const;
  // The call numbers the switch listed since the last resynchronisation began.
  std::vector<DWORD> GetReportedCallNumbers() const;

 protected:
  explicit COmbixLine(const OMBIXLINETIMING& timing);

  // A string of the provider's "Device%ld" key whose name is the format filled with the index.
  CString ReadLineString(LPCSTR pszFormat, LPCSTR pszDefault = "");
  COmbixDevice* GetOmbixDevice() const;

  std::atomic<DWORD> m_dwOutOfService{1};
  std::atomic<DWORD> m_dwLineIndex{0xFFFFFFFF};
  std::atomic<DWORD> m_dwMonitorID{0};
  std::atomic<DWORD> m_dwReconnectPending{0};
  std::atomic<DWORD> m_dwLineError{0};
  CString m_strNumber;        // under the object's lock
  CString m_strPassword;      // under the object's lock
  CString m_strDeviceString;  // under the object's lock

 private:
  // Reads the password again and sends the monitor start (dropped by the link when not logged in).
  void SendMonitorStart();
  void StartResync();
  void ResyncThreadMain();

  const OMBIXLINETIMING m_timing;
  CEvent m_evtMonitorStartDone;  // manual reset; set by the monitor's answer
  // An open waits for its monitor; a restart then sends the start unless the open's went out.
  std::atomic<DWORD> m_dwMonitorStartInProgress{0};
  // The current open's monitor start went out in this session (claimed by whoever sends it).
  std::atomic<DWORD> m_dwMonitorStartSent{0};
  std::vector<DWORD> m_arrReportedCalls;  // under the object's lock

  // The resynchronisation thread; started by the worker, joined by the worker or the destructor.
  std::mutex m_mxResync;
  std::condition_variable m_cvResync;
  std::thread m_thResync;
  std::chrono::steady_clock::time_point m_tpResyncDue;  // under m_mxResync
  bool m_bResyncWaiting = false;                        // under m_mxResync
  bool m_bResyncStop = false;                           // under m_mxResync
};
