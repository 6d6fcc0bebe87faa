// COmbixLine: the switch provider's line, one configured phone (number and password) shown to
// TAPI as one line device. This is its base: the settings it is made from, its service state, and
// the operations through which the switch device hands it what the switch says. The monitor, the
// phone-state answers and the requests build on it.
//
// Contract:
// - Init reads the line's number and password from "Line.%X.Number"/"Line.%X.Password" of the
//   provider ID's key and derives the device string (the switch's name for the phone).
// - The device calls the On* operations, SetInService, SetOutOfService and RestartMonitor on the
//   link's worker thread, one at a time; they must not block on a TAPI thread's progress.
// - The out-of-service and reconnect flags and the monitor ID are plain atomic words, read by
//   any thread; the strings change under the object's lock.
#pragma once

#include <atomic>

#include "framework/line_connection.h"
#include "platform/afx_string.h"
#include "switchapi/ombix_events.h"
#include "switchapi/ombix_msg.h"

// LINEINDEXQUERY on TAPI's generic dialog data channel: {query, TAPI device ID} from the UI side,
// answered in place with {answer, line index}.
inline constexpr DWORD OMBIX_LINEINDEX_QUERY = 0xFFFF0001;
inline constexpr DWORD OMBIX_LINEINDEX_ANSWER = 0xFFFF0002;
struct LINEINDEXQUERY {
  DWORD dwCode;
  DWORD dwValue;
};
static_assert(sizeof(LINEINDEXQUERY) == 8);

class COmbixLine : public CTSPILineConnection {
  DECLARE_DYNCREATE(COmbixLine)
 public:
  COmbixLine();
  ~COmbixLine() override;

  void Init(CTSPIDevice* pDevice, DWORD dwLineDeviceID, DWORD dwPos,
            DWORD_PTR dwItemData = 0) override;

  // Service state, set by the device as the link comes, fails or goes.
  virtual void SetInService();
  // bReconnect: the link was lost, so the calls are checked again once the monitor is back.
  virtual void SetOutOfService(BOOL bReconnect);
  // After every successful login: the switch forgot the monitor.
  virtual void RestartMonitor();

  // What the switch sends for this line (routed by the device). The base keeps nothing of them.
  virtual void OnMonitorStartRsp(const COmbixMonitorRsp* pRsp);
  virtual void OnHoldCallRsp(const COmbixRsp* pRsp);
  virtual void OnGetCallForwardingRsp(const COmbixCallForwardingRsp* pRsp);
  virtual void OnQueryPhoneConfigRsp(const COmbixPhoneConfigRsp* pRsp);
  // Every other response, OMBIX_FAILURE_RSP included.
  virtual void OnResponse(const COmbixRsp* pRsp);
  virtual void OnCallConnectionEvent(const COmbixCallConnectionEvent* pEvent);
  virtual void OnPhoneStateEvent(const COmbixPhoneStateEvent* pEvent);

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

 protected:
  std::atomic<DWORD> m_dwOutOfService{0};
  std::atomic<DWORD> m_dwLineIndex{0xFFFFFFFF};
  std::atomic<DWORD> m_dwMonitorID{0};
  std::atomic<DWORD> m_dwReconnectPending{0};
  std::atomic<DWORD> m_dwLineError{0};
  CString m_strNumber;        // under the object's lock
  CString m_strPassword;      // under the object's lock
  CString m_strDeviceString;  // under the object's lock
};
