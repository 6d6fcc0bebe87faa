// COmbixDevice: the switch provider's device, one permanent provider ID with its lines, and at the
// same time that device's link to the switch.
//
// Contract:
// - The first line open starts the link with the provider's two server addresses and the client
//   identification "TAPI" "6.0.1", and waits up to the login wait (5000 ms) for the login's
//   answer; every open returns TRUE, whatever the switch does. While the link is logged in or a
//   connect is under way, an open starts nothing. After a refused login the next open starts the
//   link again.
// - On the link's worker thread: a login puts every line in service and restarts its monitor; a
//   refused login or a lost link takes every line out of service (a lost link with the reconnect
//   flag). The end of the session (a lost link, or CloseSession's stop) takes every line's
//   monitor ID away. Responses go to the line whose TAPI device ID is their dwInvokeID, call and
//   phone-state events to the first line in index order whose (non-zero) monitor ID they carry,
//   found in the monitor index (constant time, no line lock); anything else is dropped.
// - The destructor stops and joins the link's worker, then every line's resynchronisation
//   thread, before anything of the device or its lines goes, so no callback runs on a
//   half-destroyed object. Destroy the device on a TAPI thread, never in a callback.
// - The flags and counts are atomic words shared by the TAPI threads and the worker.
#pragma once

#include <atomic>

#include "framework/device.h"
#include "platform/afxmt.h"
#include "provider/ombix_monitor_index.h"
#include "switchapi/ombix_api.h"

class COmbixLine;

inline constexpr DWORD kOmbixLoginWait = 5000;  // ms an opening line waits for the login
inline constexpr char kOmbixClientName[] = "TAPI";
inline constexpr char kOmbixClientVersion[] = "6.0.1";

class COmbixDevice : public CTSPIDevice, public COmbixAPI {
  DECLARE_DYNCREATE(COmbixDevice)
 public:
  COmbixDevice();
  ~COmbixDevice() override;

  BOOL OpenConnection(CTSPIConnection* pConn) override;
  // Undoes one open: the open count goes down (never below 0); at 0 with the link logged in,
  // every line's monitor is stopped, the link told to end and every line's monitor ID forgotten.
  // Nothing in the provider calls it: closing a line leaves the switch session as it is.
  virtual void CloseSession();

  DWORD GetOpenCount() const { return m_dwOpenCount.load(); }
  DWORD GetLastLoginError() const { return m_dwLastLoginError.load(); }
  BOOL IsConnectInProgress() const { return m_dwConnectInProgress.load(); }

  // The line an event with that monitor ID belongs to: the first in index order that holds it;
  // NULL for 0 or an ID no line holds.
  COmbixLine* FindLineByMonitorID(DWORD dwMonitorID) const;
  // Called by a line of this device, under its own lock, when its monitor ID changed.
  void OnMonitorIDChanged(COmbixLine* pLine, DWORD dwOldID, DWORD dwNewID);

 protected:
  // The link's timing and the login wait, for a device that must not wait as long (tests).
  COmbixDevice(const OMBIXLINKOPTIONS& options, DWORD dwLoginWait);

  void OnLoginSucceeded(const COmbixLoginRsp* pRsp) override;
  void OnLoginFailed(const COmbixLoginRsp* pRsp) override;
  void OnConnectionLost() override;
  void OnResponse(const COmbixMsg* pMsg) override;
  void OnCallEvent(const COmbixCallConnectionEvent* pEvent) override;
  void OnPhoneStateEvent(const COmbixPhoneStateEvent* pEvent) override;

 private:
  // The switch line at that index; NULL past the end or for a line of another class.
  COmbixLine* GetOmbixLine(INT_PTR nIndex);

  const DWORD m_dwLoginWait;
  CEvent m_evtLoginDone;  // manual reset; set by both login callbacks
  std::atomic<DWORD> m_dwConnectInProgress{0};
  std::atomic<DWORD> m_dwOpenCount{0};
  std::atomic<DWORD> m_dwLastLoginError{0};
  COmbixMonitorIndex m_monitors;
};
