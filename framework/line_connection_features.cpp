// CTSPILineConnection: status flags, line features, call counters and terminal modes.
#include "framework/line_connection.h"
#include "platform/afxmt.h"

namespace {

// Every TAPI 2 line feature but LINEFEATURE_SETTERMINAL, with and without LINEFEATURE_MAKECALL.
constexpr DWORD kFeaturesCanMakeCall = 0x1DF;
constexpr DWORD kFeaturesAtCallLimit = 0x1D7;

// States in which a call counts as active on the line.
bool IsActiveCallState(DWORD dwState) {
  constexpr DWORD kInactive = LINECALLSTATE_IDLE | LINECALLSTATE_ONHOLD |
                              LINECALLSTATE_CONFERENCED | LINECALLSTATE_ONHOLDPENDCONF |
                              LINECALLSTATE_ONHOLDPENDTRANSFER | LINECALLSTATE_DISCONNECTED |
                              LINECALLSTATE_UNKNOWN;
  return (dwState & kInactive) == 0;
}

bool IsOnHoldPending(DWORD dwState) {
  return dwState == LINECALLSTATE_ONHOLDPENDTRANSFER || dwState == LINECALLSTATE_ONHOLDPENDCONF;
}

// Decrements never take a counter below 0.
void Decrement(DWORD& dwCounter) {
  if (dwCounter > 0) --dwCounter;
}

}  // namespace

void CTSPILineConnection::ChangeDevStatusFlags(DWORD dwFlags) {
  UpdateDevStatusFlags(0xFFFFFFFF, dwFlags);
}

void CTSPILineConnection::SetDevStatusFlags(DWORD dwFlags, BOOL bOn) {
  UpdateDevStatusFlags(dwFlags, bOn ? dwFlags : 0);
}

void CTSPILineConnection::UpdateDevStatusFlags(DWORD dwMask, DWORD dwValues) {
  DWORD dwState = 0;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    const DWORD dwOld = m_LineStatus.dwDevStatusFlags;
    const DWORD dwFlags = (dwOld & ~dwMask) | (dwValues & dwMask);
    m_LineStatus.dwDevStatusFlags = dwFlags;
    const DWORD dwChanged = dwOld ^ dwFlags;
    auto report = [&](DWORD dwFlag, DWORD dwSet, DWORD dwCleared) {
      if ((dwChanged & dwFlag) != 0) dwState |= ((dwFlags & dwFlag) != 0) ? dwSet : dwCleared;
    };
    report(LINEDEVSTATUSFLAGS_CONNECTED, LINEDEVSTATE_CONNECTED, LINEDEVSTATE_DISCONNECTED);
    report(LINEDEVSTATUSFLAGS_MSGWAIT, LINEDEVSTATE_MSGWAITON, LINEDEVSTATE_MSGWAITOFF);
    report(LINEDEVSTATUSFLAGS_INSERVICE, LINEDEVSTATE_INSERVICE, LINEDEVSTATE_OUTOFSERVICE);
    report(LINEDEVSTATUSFLAGS_LOCKED, LINEDEVSTATE_LOCK, LINEDEVSTATE_LOCK);
    if (dwState != 0) ReportLineDevState(dwState, 0, 0);
    UpdateLineFeatures();
  }
  UpdateAddressFeatures();
}

void CTSPILineConnection::UpdateLineFeatures() {
  CSingleLock lock(GetSyncObject(), TRUE);
  const DWORD dwCaps = m_LineCaps.dwLineFeatures;
  DWORD dwFeatures = 0;
  constexpr DWORD kUsable = LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE;
  if ((m_LineStatus.dwDevStatusFlags & kUsable) == kUsable) {
    dwFeatures = dwCaps;
    if (m_nActiveCalls < static_cast<int>(m_LineCaps.dwMaxNumActiveCalls)) {
      dwFeatures = (dwFeatures & kFeaturesCanMakeCall) | LINEFEATURE_MAKECALL;
    } else {
      dwFeatures &= kFeaturesAtCallLimit;
    }
    if (!m_arrTerminals.IsEmpty()) dwFeatures |= dwCaps & LINEFEATURE_SETTERMINAL;
  }
  SetLineFeatures(FilterLineFeatures(dwFeatures & dwCaps));
}

void CTSPILineConnection::SetLineFeatures(DWORD dwFeatures) {
  CSingleLock lock(GetSyncObject(), TRUE);
  if ((dwFeatures & ~m_LineCaps.dwLineFeatures) != 0) {
    m_LineCaps.dwLineFeatures |= dwFeatures;
    NotifyCapsChanged();
  }
  if (m_LineStatus.dwLineFeatures != dwFeatures) {
    m_LineStatus.dwLineFeatures = dwFeatures;
    ReportLineDevState(LINEDEVSTATE_OTHER, 0, 0);
  }
}

void CTSPILineConnection::NotifyCapsChanged() {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_LineStatus.dwLineFeatures &= m_LineCaps.dwLineFeatures;
  }
  ReportLineDevState(LINEDEVSTATE_CAPSCHANGE, 0, 0);
}

void CTSPILineConnection::AdjustActiveCallCount(int nDelta) {
  CSingleLock lock(GetSyncObject(), TRUE);
  m_nActiveCalls += nDelta;
  if (m_nActiveCalls < 0) m_nActiveCalls = 0;
  UpdateLineFeatures();
}

void CTSPILineConnection::UpdateCallCounters(CTSPIAddressInfo* /*pAddr*/,
                                             CTSPICallAppearance* /*pCall*/, DWORD dwNewState,
                                             DWORD dwOldState) {
  if (dwNewState == dwOldState) return;
  CSingleLock lock(GetSyncObject(), TRUE);
  const DWORD dwBefore[] = {m_LineStatus.dwNumActiveCalls, m_LineStatus.dwNumOnHoldCalls,
                            m_LineStatus.dwNumOnHoldPendCalls};
  const bool bWasActive = IsActiveCallState(dwOldState);
  const bool bIsActive = IsActiveCallState(dwNewState);
  if (!bWasActive && bIsActive) ++m_LineStatus.dwNumActiveCalls;
  if (bWasActive && !bIsActive) Decrement(m_LineStatus.dwNumActiveCalls);
  if (dwNewState == LINECALLSTATE_ONHOLD) ++m_LineStatus.dwNumOnHoldCalls;
  if (IsOnHoldPending(dwNewState)) ++m_LineStatus.dwNumOnHoldPendCalls;
  if (dwOldState == LINECALLSTATE_ONHOLD) Decrement(m_LineStatus.dwNumOnHoldCalls);
  if (IsOnHoldPending(dwOldState)) Decrement(m_LineStatus.dwNumOnHoldPendCalls);
  if (dwBefore[0] != m_LineStatus.dwNumActiveCalls ||
      dwBefore[1] != m_LineStatus.dwNumOnHoldCalls ||
      dwBefore[2] != m_LineStatus.dwNumOnHoldPendCalls) {
    SetFlags(CONNFLAG_CALLCOUNTSCHANGED);
  }
}

void CTSPILineConnection::ReportCallCounterChange() {
  CSingleLock lock(GetSyncObject(), TRUE);
  if ((GetFlags() & CONNFLAG_CALLCOUNTSCHANGED) != 0) {
    ClearFlags(CONNFLAG_CALLCOUNTSCHANGED);
    ReportLineDevState(LINEDEVSTATE_NUMCALLS, 0, 0);
  }
  UpdateLineFeatures();
}

DWORD CTSPILineConnection::GetTerminalModes(int nTerminal) const {
  CSingleLock lock(GetSyncObject(), TRUE);
  if (nTerminal < 0 || nTerminal >= m_arrTerminals.GetSize()) return 0;
  return static_cast<const TERMINALINFO*>(m_arrTerminals[nTerminal])->dwMode;
}

void CTSPILineConnection::SetTerminalModes(int nTerminal, DWORD dwModes, BOOL bOn) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (nTerminal < 0 || nTerminal >= m_arrTerminals.GetSize()) return;
    auto* pTerminal = static_cast<TERMINALINFO*>(m_arrTerminals[nTerminal]);
    if (bOn) {
      pTerminal->dwMode |= dwModes;
    } else {
      pTerminal->dwMode &= ~dwModes;
    }
    ReportLineDevState(LINEDEVSTATE_TERMINALS, 0, 0);
  }
  SetAddressTerminalModes(nTerminal, dwModes, bOn);
}
