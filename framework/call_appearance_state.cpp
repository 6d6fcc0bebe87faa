// CTSPICallAppearance: the state change, the call features and the notices between partner calls.
//
// A state change holds the call's lock for the call's own fields and only tries the locks of the
// address and the line. What it cannot apply under a try (the address's and line's call counters,
// features that need a busy address or line) waits until the call's lock is released and is then
// applied with waiting locks, in the order the changes were made; so are the notices to partner
// calls and the recomputation of the line's other calls, which take other calls' locks. The
// state's LINE_CALLSTATE is held back until all of that is done, so that it goes out once and
// with the features of its state, and the held events of one call go out in the order of their
// changes.
#include <memory>
#include <vector>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/conference_call.h"
#include "framework/feature_locks.h"
#include "framework/line_connection.h"
#include "framework/media_records.h"
#include "framework/request.h"
#include "framework/service_provider.h"
#include "platform/afxmt.h"
#include "platform/caught_exception.h"
#include "platform/win32.h"

namespace {

constexpr DWORD kStartFeatures = 0xE0687080;
constexpr DWORD kHeldStates = 0x3400;
constexpr DWORD kActiveStates = 0x378;

// A reference taken by a ...Ref getter, let go also when what runs with it throws.
struct ReleaseCall {
  void operator()(CTSPICallAppearance* pCall) const { pCall->Release(); }
};
template <typename Call>
using AdoptedRef = std::unique_ptr<Call, ReleaseCall>;

}  // namespace

void CTSPICallAppearance::ChangeCallState(DWORD dwState, DWORD dwMode, DWORD dwMediaMode,
                                          BOOL bNotify) {
  // What the change holds (a reference, the changing-state mark, its held event) is let go on
  // every way out: a hook or an allocation that throws must not leave the call's later events
  // held for ever, its feature notices silenced or the call alive.
  struct Holds {
    CTSPICallAppearance* pCall;
    bool bEntered = false;
    bool bEvent = false;
    ULONGLONG nEvent = 0;
    void SendEvent() {
      if (!bEvent) return;
      bEvent = false;
      pCall->SendHeldStateEvent(nEvent);
    }
    void Leave() {
      if (!bEntered) return;
      bEntered = false;
      pCall->LeaveStateChange();
    }
    ~Holds() {
      try {
        SendEvent();  // only left on a throw: the event goes out with what is stored
      } catch (...) {
        LogCaughtException("CTSPICallAppearance::ChangeCallState");
      }
      Leave();
      pCall->Release();
    }
  };
  AddRef();  // whatever follows may let go of the call's last other reference
  Holds holds{this};
  CTSPILineConnection* pLine = GetLineOwner();
  DWORD dwOldState = 0;
  bool bChanged = false;
  bool bOverridden = false;
  bool bFeaturesMissed = false;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    dwOldState = m_CallStatus.dwCallState;
    const DWORD dwOldMode = m_CallStatus.dwCallStateMode;
    if (dwOldState == LINECALLSTATE_IDLE && dwState != LINECALLSTATE_IDLE) {
      return;
    }
    EnterStateChange();
    holds.bEntered = true;

    if ((m_dwFlags.fetch_or(CALLFLAG_STATESEEN) & CALLFLAG_STATESEEN) == 0 && pLine != nullptr) {
      // TAPI learns that lineMakeCall succeeded at the call's first state; the request stays
      // queued for the line to finish.
      if (CTSPIRequestPtr pReq = pLine->FindRequest(this, REQUEST_LINEMAKECALL)) {
        if (pReq->GetRequestID() != 0 && !pReq->IsReported()) {
          pLine->CompleteRequest(pReq.Get(), 0, TRUE, FALSE);
        }
      }
    }

    if (dwMediaMode != 0) {
      if (m_CallInfo.dwMediaMode == 0) m_CallInfo.dwMediaMode = dwMediaMode;
      ProcessMediaModeChange(dwMediaMode);
    } else if (m_CallInfo.dwMediaMode == 0 && m_pAddr != nullptr) {
      LINEADDRESSCAPS caps{};
      LINEADDRESSSTATUS status{};
      if (m_pAddr->TryGetAddressCaps(caps, status, TRUE)) {
        const DWORD dwAvailable = caps.dwAvailableMediaModes;
        const DWORD dwKnown = dwAvailable & ~LINEMEDIAMODE_UNKNOWN;
        const bool bSingle = dwKnown != 0 && (dwKnown & (dwKnown - 1)) == 0;
        m_CallInfo.dwMediaMode = bSingle ? dwKnown : dwAvailable;
      }
    }
    const DWORD dwMediaOut = (dwMediaMode != 0) ? dwMediaMode : m_CallInfo.dwMediaMode;

    if (dwState != dwOldState || (dwMode != 0 && dwMode != dwOldMode)) {
      bChanged = true;
      m_CallStatus.dwCallState = dwState;
      m_dwState.store(dwState);
      if (!(dwState == dwOldState && dwMode == 0)) m_CallStatus.dwCallStateMode = dwMode;
      GetSystemTime(&m_CallStatus.tStateEntryTime);

      if (dwState != dwOldState && m_pAddr != nullptr) {
        bool bApplied = false;
        {
          std::lock_guard<std::mutex> guard(m_mxPending);
          if (m_pending.empty() && !m_bFlushing) bApplied = true;
        }
        if (bApplied) {
          CSingleLock lockAddr(m_pAddr->GetSyncObject());
          CSingleLock lockLine(pLine != nullptr ? pLine->GetSyncObject() : nullptr);
          bApplied = lockAddr.Lock(0) && (pLine == nullptr || lockLine.Lock(0));
          if (bApplied) m_pAddr->UpdateCallCounters(this, dwState, dwOldState);
        }
        if (!bApplied) {
          std::lock_guard<std::mutex> guard(m_mxPending);
          m_pending.push_back({dwState, dwOldState});
        }
      }
      if (m_CallStatus.dwCallState != dwState) {
        bOverridden = true;
      } else {
        CFeatureLockScope scope;
        ComputeCallFeatures(dwState, m_CallStatus.dwCallStateMode, dwMediaOut);
        bFeaturesMissed = scope.Missed();
        if (bNotify) {
          holds.nEvent = HoldStateEvent(m_CallStatus.dwCallState, m_CallStatus.dwCallStateMode,
                                        m_CallInfo.dwMediaMode);
          holds.bEvent = true;
        }
      }
    }
  }

  FlushPendingCounts();
  if (bChanged && !bOverridden) {
    const bool bIsConference = GetCallType() == CALLTYPE_CONFERENCE;
    if (!bIsConference) {
      if (const AdoptedRef<CTSPIConferenceCall> pConf{GetConferenceCallRef()}) {
        pConf->OnRelatedCallStateChange(this, dwState, dwOldState);
      }
    }
    if (const AdoptedRef<CTSPICallAppearance> pRelated{GetRelatedCallRef()}) {
      pRelated->OnRelatedCallStateChange(this, dwState, dwOldState);
    }
    if (!bIsConference) {
      RecomputeLineFeatures();
    } else {
      // The members follow their conference now that its lock is free.
      const LINECALLSTATUS status = GetCallStatusCopy();
      ComputeCallFeatures(status.dwCallState, status.dwCallStateMode, GetMediaMode());
    }
  }
  if (bChanged && m_pAddr != nullptr) m_pAddr->ReportCallCounterChange(this, dwState, dwOldState);
  // Features a busy address or line kept from the state change are computed now, waiting for
  // those locks (no lock is held here); the held event then carries them.
  auto recompute = [this] {
    const LINECALLSTATUS status = GetCallStatusCopy();
    ComputeCallFeatures(status.dwCallState, status.dwCallStateMode, GetMediaMode());
  };
  const bool bEvent = holds.bEvent;
  if (bFeaturesMissed && bEvent) recompute();
  holds.SendEvent();
  holds.Leave();
  if (bFeaturesMissed && !bEvent) recompute();
  if (bChanged && dwState == LINECALLSTATE_IDLE && dwOldState != LINECALLSTATE_IDLE &&
      pLine != nullptr) {
    // Requests of the call not yet fetched fail now; the call's lock is free again.
    pLine->CompleteMatchingRequests(this, REQUEST_ANY, LINEERR_INVALCALLSTATE, TRUE);
  }
  if (bChanged && dwState == LINECALLSTATE_IDLE && dwOldState != LINECALLSTATE_IDLE &&
      GetCallHandle() == nullptr && m_pAddr != nullptr) {
    m_pAddr->RemoveCall(this);
  }
}

void CTSPICallAppearance::FlushPendingCounts() {
  {
    std::lock_guard<std::mutex> guard(m_mxPending);
    if (m_bFlushing || m_pending.empty()) return;
    m_bFlushing = true;
  }
  for (;;) {
    PendingCount next{};
    {
      std::lock_guard<std::mutex> guard(m_mxPending);
      if (m_pending.empty()) {
        m_bFlushing = false;
        return;
      }
      next = m_pending.front();
      m_pending.erase(m_pending.begin());
    }
    m_pAddr->UpdateCallCounters(this, next.dwNew, next.dwOld);
  }
}

void CTSPICallAppearance::EnterStateChange() {
  std::lock_guard<std::mutex> guard(m_mxPending);
  if (m_lStateChanges++ == 0) SetFlag(CALLFLAG_INSTATECHANGE);
}

void CTSPICallAppearance::LeaveStateChange() {
  std::lock_guard<std::mutex> guard(m_mxPending);
  if (--m_lStateChanges == 0) ClearFlag(CALLFLAG_INSTATECHANGE);
}

ULONGLONG CTSPICallAppearance::HoldStateEvent(DWORD dwState, DWORD dwMode, DWORD dwMedia) {
  std::lock_guard<std::mutex> guard(m_mxPending);
  const ULONGLONG nSeq = ++m_nLastEvent;
  m_events.push_back({nSeq, dwState, dwMode, dwMedia, false});
  return nSeq;
}

void CTSPICallAppearance::SendHeldStateEvent(ULONGLONG nEvent) {
  {
    std::lock_guard<std::mutex> guard(m_mxPending);
    for (HeldEvent& held : m_events) {
      if (held.nSeq == nEvent) held.bReady = true;
    }
    // The thread already sending goes on to this one once those before it are ready.
    if (m_bSendingEvents) return;
    m_bSendingEvents = true;
  }
  for (;;) {
    HeldEvent next{};
    {
      std::lock_guard<std::mutex> guard(m_mxPending);
      if (m_events.empty() || !m_events.front().bReady) {
        m_bSendingEvents = false;
        return;
      }
      next = m_events.front();
      m_events.erase(m_events.begin());
    }
    try {
      SendStateEvent(next.dwState, next.dwMode, next.dwMedia);
    } catch (...) {
      std::lock_guard<std::mutex> guard(m_mxPending);
      m_bSendingEvents = false;  // the next sender goes on with those still held
      throw;
    }
  }
}

void CTSPICallAppearance::RecomputeLineFeatures() {
  CTSPILineConnection* pLine = GetLineOwner();
  if (pLine == nullptr) return;
  for (DWORD dwAddr = 0; dwAddr < pLine->GetAddressCount(); ++dwAddr) {
    CTSPIAddressInfo* pAddr = pLine->GetAddress(dwAddr);
    if (pAddr == nullptr) continue;
    // The snapshot's references go also when a call's features throw.
    struct Snapshot {
      std::vector<CTSPICallAppearance*> calls;
      ~Snapshot() {
        for (CTSPICallAppearance* pCall : calls) pCall->Release();
      }
    } snapshot{pAddr->SnapshotCalls()};
    for (CTSPICallAppearance* pCall : snapshot.calls) {
      if (pCall != this && pCall->GetCallType() != CALLTYPE_CONFERENCE) {
        pCall->ComputeCallFeatures(pCall->GetCallState(), 0, 0);
      }
    }
  }
}

// --- Features ---

void CTSPICallAppearance::ComputeCallFeatures(DWORD dwState, DWORD /*dwMode*/,
                                              DWORD /*dwMediaMode*/) {
  if (m_pAddr == nullptr) return;
  CTSPILineConnection* pLine = GetLineOwner();
  CSingleLock lock(GetSyncObject(), TRUE);
  if (m_pMediaControl != nullptr && dwState != m_CallStatus.dwCallState) {
    for (INT_PTR i = 0; i < m_pMediaControl->arrCallStates.GetSize(); ++i) {
      const auto* pEntry =
          static_cast<const LINEMEDIACONTROLCALLSTATE*>(m_pMediaControl->arrCallStates[i]);
      if ((pEntry->dwCallStates & dwState) == dwState) ExecuteMediaControl(pEntry->dwMediaControl);
    }
  }
  LINEADDRESSCAPS caps{};
  LINEADDRESSSTATUS status{};
  if (!m_pAddr->TryGetAddressCaps(caps, status, CFeatureLockScope::Active())) {
    CFeatureLockScope::NoteMissed();
    return;
  }
  const DWORD dwAddrFlags = m_pAddr->GetFlags();
  const bool bIncoming = (dwAddrFlags & ADDRFLAG_INCOMING) != 0;
  DWORD dwFeatures = kStartFeatures;
  if (!m_arrUserUserInfo.empty()) dwFeatures |= LINECALLFEATURE_RELEASEUSERUSERINFO;
  if (!m_arrTerminalModes.empty()) dwFeatures |= LINECALLFEATURE_SETTERMINAL;
  if ((dwState & kActiveStates) != 0) {
    dwFeatures |= 0x700;
    if ((dwAddrFlags & ADDRFLAG_OUTGOING) != 0 &&
        (caps.dwAddrCapFlags & LINEADDRCAPFLAGS_DIALED) != 0) {
      dwFeatures |= LINECALLFEATURE_DIAL;
    }
  }
  auto exists = [&](DWORD dwMask) {
    return pLine != nullptr && pLine->FindCallByState(dwMask, this) != nullptr;
  };
  auto canJoin = [&] { return pLine != nullptr && pLine->CanJoinConference(this); };
  auto canTransfer = [&] { return pLine != nullptr && pLine->CanCompleteTransfer(this); };
  const bool bTransferHeld = (caps.dwAddrCapFlags & LINEADDRCAPFLAGS_TRANSFERHELD) != 0;
  const bool bConferenceHeld = (caps.dwAddrCapFlags & LINEADDRCAPFLAGS_CONFERENCEHELD) != 0;
  const bool bConference = GetCallType() == CALLTYPE_CONFERENCE;

  switch (dwState) {
    case LINECALLSTATE_IDLE:
      dwFeatures = 0;
      ClearMediaOnIdle();
      break;
    case LINECALLSTATE_OFFERING:
      dwFeatures |= 0x120001;
      if (bIncoming) dwFeatures |= LINECALLFEATURE_ANSWER;
      break;
    case LINECALLSTATE_ACCEPTED:
      dwFeatures |= 0x120000;
      if (bIncoming) dwFeatures |= LINECALLFEATURE_ANSWER;
      break;
    case LINECALLSTATE_DIALTONE:
    case LINECALLSTATE_DIALING:
      if (exists(kHeldStates)) dwFeatures |= LINECALLFEATURE_SWAPHOLD;
      break;
    case LINECALLSTATE_RINGBACK:
      dwFeatures |= 0x100010;
      if (canJoin()) dwFeatures |= LINECALLFEATURE_ADDTOCONF;
      if (exists(kHeldStates)) dwFeatures |= LINECALLFEATURE_SWAPHOLD;
      if (bTransferHeld && exists(0x2400)) dwFeatures |= LINECALLFEATURE_COMPLETETRANSF;
      break;
    case LINECALLSTATE_BUSY:
      dwFeatures |= LINECALLFEATURE_COMPLETECALL;
      if (exists(kHeldStates)) dwFeatures |= LINECALLFEATURE_SWAPHOLD;
      break;
    case LINECALLSTATE_CONNECTED:
      dwFeatures |= 0x100808 | LINECALLFEATURE_PARK;
      if (bConference) {
        dwFeatures |= LINECALLFEATURE_PREPAREADDCONF;
      } else if (canJoin() && m_pConf == nullptr) {
        dwFeatures |= LINECALLFEATURE_ADDTOCONF;
      } else {
        dwFeatures |= LINECALLFEATURE_SETUPCONF;
      }
      if (status.dwNumOnHoldCalls < caps.dwMaxNumOnHoldCalls &&
          status.dwNumOnHoldPendCalls < caps.dwMaxNumOnHoldPendingCalls) {
        dwFeatures |= LINECALLFEATURE_SETUPTRANSFER;
      }
      if (exists(kHeldStates)) dwFeatures |= LINECALLFEATURE_SWAPHOLD;
      if (exists(LINECALLSTATE_ONHOLDPENDTRANSFER) ||
          (bTransferHeld && exists(LINECALLSTATE_ONHOLD))) {
        dwFeatures |= LINECALLFEATURE_COMPLETETRANSF;
      }
      break;
    case LINECALLSTATE_PROCEEDING:
      dwFeatures |= LINECALLFEATURE_HOLD;
      if (canJoin()) dwFeatures |= LINECALLFEATURE_ADDTOCONF;
      if (exists(kHeldStates)) dwFeatures |= LINECALLFEATURE_SWAPHOLD;
      break;
    case LINECALLSTATE_ONHOLD:
      dwFeatures |= LINECALLFEATURE_UNHOLD;
      if (exists(kActiveStates)) dwFeatures |= LINECALLFEATURE_SWAPHOLD;
      if (bConferenceHeld && canJoin()) dwFeatures |= LINECALLFEATURE_ADDTOCONF;
      if (bTransferHeld && canTransfer()) dwFeatures |= LINECALLFEATURE_COMPLETETRANSF;
      break;
    case LINECALLSTATE_CONFERENCED:
      if (m_pConf != nullptr && m_pConf->CanRemoveMember(this)) {
        dwFeatures |= LINECALLFEATURE_REMOVEFROMCONF;
      }
      break;
    case LINECALLSTATE_ONHOLDPENDCONF:
      dwFeatures |= LINECALLFEATURE_UNHOLD;
      if (exists(kActiveStates)) dwFeatures |= 0x4000002;
      break;
    case LINECALLSTATE_ONHOLDPENDTRANSFER:
      dwFeatures |= LINECALLFEATURE_UNHOLD;
      if (canTransfer()) dwFeatures |= LINECALLFEATURE_COMPLETETRANSF;
      if (exists(kActiveStates)) dwFeatures |= LINECALLFEATURE_SWAPHOLD;
      break;
    case LINECALLSTATE_DISCONNECTED:
      dwFeatures = LINECALLFEATURE_DROP;
      break;
    case LINECALLSTATE_UNKNOWN:
      dwFeatures = 0;
      break;
    default:
      break;
  }
  if (CFeatureLockScope::Active() && CFeatureLockScope::AnyMissed()) return;

  dwFeatures &= caps.dwCallFeatures;
  if (GetCallType() == CALLTYPE_CONSULTATION) dwFeatures &= 0xFCFFFFFF;
  dwFeatures = m_pAddr->FilterCallFeatures(this, dwFeatures) & caps.dwCallFeatures;
  lock.Unlock();
  StoreCallFeatures(dwFeatures, TRUE);
}

DWORD CTSPICallAppearance::StoreCallFeatures(DWORD dwFeatures, BOOL bNotify) {
  bool bSend = false;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (m_CallStatus.dwCallFeatures != dwFeatures) {
      m_CallStatus.dwCallFeatures = dwFeatures;
      FixCallFeatures2(FALSE);
      bSend = bNotify && (GetFlags() & CALLFLAG_INSTATECHANGE) == 0;
    }
  }
  if (bSend) SendCallStateEvent();
  return dwFeatures;
}

void CTSPICallAppearance::FixCallFeatures2(BOOL bNotify) {
  if (m_pAddr == nullptr) return;
  LINEADDRESSCAPS caps{};
  LINEADDRESSSTATUS status{};
  if (!m_pAddr->TryGetAddressCaps(caps, status, CFeatureLockScope::Active())) return;
  if (caps.dwCallFeatures2 == 0) return;
  bool bSend = false;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    const DWORD dwFeatures = m_CallStatus.dwCallFeatures;
    DWORD dwFeatures2 = m_CallStatus.dwCallFeatures2;
    const DWORD dwBefore = dwFeatures2;
    if ((dwFeatures & LINECALLFEATURE_SETUPCONF) == 0) dwFeatures2 &= ~0x1u;
    if ((dwFeatures & LINECALLFEATURE_SETUPTRANSFER) == 0) dwFeatures2 &= ~0x2u;
    if ((dwFeatures & LINECALLFEATURE_COMPLETECALL) == 0) dwFeatures2 &= ~0x3Cu;
    if ((dwFeatures & LINECALLFEATURE_COMPLETETRANSF) == 0) dwFeatures2 &= ~0xC0u;
    if ((dwFeatures & LINECALLFEATURE_PARK) == 0) dwFeatures2 &= ~0x300u;
    m_CallStatus.dwCallFeatures2 = dwFeatures2;
    bSend = dwFeatures2 != dwBefore && (GetFlags() & CALLFLAG_INSTATECHANGE) == 0 && bNotify;
  }
  if (bSend) SendCallStateEvent();
}

// --- Notifications ---

void CTSPICallAppearance::SendCallInfoEvent(DWORD dwInfoState) {
  CTSPILineConnection* pLine = GetLineOwner();
  if (GetCallHandle() == nullptr || pLine == nullptr) return;
  pLine->SendLineEvent(this, LINE_CALLINFO, dwInfoState, 0, 0);
}

void CTSPICallAppearance::SendCallStateEvent() {
  DWORD dwState = 0;
  DWORD dwMode = 0;
  DWORD dwMedia = 0;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    dwState = m_CallStatus.dwCallState;
    dwMode = m_CallStatus.dwCallStateMode;
    dwMedia = m_CallInfo.dwMediaMode;
  }
  SendStateEvent(dwState, dwMode, dwMedia);
}

void CTSPICallAppearance::SendStateEvent(DWORD dwState, DWORD dwMode, DWORD dwMedia) {
  CTSPILineConnection* pLine = GetLineOwner();
  if (GetCallHandle() == nullptr || pLine == nullptr) return;
  DWORD dwVersion = pLine->GetNegotiatedVersion();
  if (dwVersion == 0) {
    CServiceProvider* pSP = GetSP();
    dwVersion = (pSP != nullptr) ? pSP->GetSupportedVersion() : TAPIVER_20;
  }
  DWORD_PTR dwParam2 = 0;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    switch (dwState) {
      case LINECALLSTATE_OFFERING:
      case LINECALLSTATE_DIALTONE:
      case LINECALLSTATE_BUSY:
      case LINECALLSTATE_SPECIALINFO:
        dwParam2 = dwMode;
        break;
      case LINECALLSTATE_CONNECTED:
        if (dwVersion < TAPIVER_14) {
          dwParam2 = 0;
        } else if (dwVersion < TAPIVER_20) {
          dwParam2 = ((dwMode & 0x1C) != 0) ? LINECONNECTEDMODE_ACTIVE : dwMode;
        } else {
          dwParam2 = dwMode;
        }
        break;
      case LINECALLSTATE_CONFERENCED:
        dwParam2 =
            reinterpret_cast<DWORD_PTR>(m_pConf != nullptr ? m_pConf->GetCallHandle() : nullptr);
        break;
      case LINECALLSTATE_DISCONNECTED:
        dwParam2 = dwMode;
        if ((dwVersion < TAPIVER_14 && dwMode == LINEDISCONNECTMODE_NODIALTONE) ||
            (dwVersion < TAPIVER_20 && (dwMode & 0xFE000) != 0)) {
          dwParam2 = LINEDISCONNECTMODE_UNKNOWN;
        }
        break;
      default:
        break;
    }
  }
  pLine->SendLineEvent(this, LINE_CALLSTATE, dwState, dwParam2, dwMedia);
}

// --- Partners ---

void CTSPICallAppearance::OnConsultationCallIdle(CTSPICallAppearance*) {}

void CTSPICallAppearance::OnRelatedCallStateChange(CTSPICallAppearance* pCall, DWORD dwNewState,
                                                   DWORD /*dwOldState*/) {
  if (dwNewState != LINECALLSTATE_IDLE) return;
  const AdoptedRef<CTSPICallAppearance> pRelated{GetRelatedCallRef()};
  if (GetCallType() != CALLTYPE_CONSULTATION) OnConsultationCallIdle(pRelated.get());
  if (pRelated != nullptr) {
    pRelated->ClearRelatedCallIf(this);
  } else if (pCall != nullptr) {
    pCall->ClearRelatedCallIf(this);
  }
  ClearRelatedCall();
  if (GetCallState() != LINECALLSTATE_IDLE && m_pAddr != nullptr) {
    if (CTSPICallAppearance* pFound = m_pAddr->FindCallByRelatedCall(this)) {
      if (pFound != pCall) SetRelatedCall(pFound);
      pFound->Release();
    }
  }
  OnPartnerLost();
}
