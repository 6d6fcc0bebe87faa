// CTSPICallAppearance: digit gathering and its time-outs, digit and tone generation, monitoring,
// the media-control lists and the timer service.
//
// Deadlines are kept as a start tick and a period and compared as elapsed ticks
// (now - start >= period), which stays right across the wrap of the 32-bit tick count.
#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/line_connection.h"
#include "framework/media_records.h"
#include "framework/request.h"
#include "framework/service_provider.h"
#include "platform/afxmt.h"
#include "platform/caught_exception.h"
#include "platform/win32.h"

namespace {

bool IsDue(DWORD dwNow, DWORD dwStart, DWORD dwPeriod) {
  return static_cast<DWORD>(dwNow - dwStart) >= dwPeriod;
}

bool AllIn(const CString& str, LPCSTR pszAllowed) {
  for (int i = 0; i < str.GetLength(); ++i) {
    if (std::strchr(pszAllowed, str[i]) == nullptr || str[i] == '\0') return false;
  }
  return true;
}

}  // namespace

void CTSPICallAppearance::AddTimedEvent(DWORD dwType, DWORD dwPeriod, DWORD dwData, DWORD dwMask) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    auto* pEvent = new TIMEREVENT;
    pEvent->dwStartTick = GetTickCount();
    pEvent->dwPeriod = dwPeriod;
    pEvent->dwType = dwType;
    pEvent->dwData = dwData;
    pEvent->dwMask = dwMask;
    m_arrTimers.push_back(pEvent);
  }
  // A removed call is never served again.
  if (!IsDeleted()) {
    if (CServiceProvider* pSP = GetSP()) pSP->RegisterTimedCall(this);
  }
}

LONG CTSPICallAppearance::GatherDigits(TSPIDIGITGATHER* pGather) {
  if (!HasFeature(LINECALLFEATURE_GATHERDIGITS)) return LINEERR_OPERATIONUNAVAIL;
  if (pGather == nullptr || pGather->lpBuffer == nullptr) {
    delete pGather;
    FinishDigitGather(LINEGATHERTERM_CANCEL);
    return 0;
  }
  CTSPILineConnection* pLine = GetLineOwner();
  const LINEDEVCAPS caps = (pLine != nullptr) ? pLine->GetLineDevCaps() : LINEDEVCAPS{};
  auto inRange = [&](DWORD dwTimeout) {
    return dwTimeout == 0 || (dwTimeout >= caps.dwGatherDigitsMinTimeout &&
                              dwTimeout <= caps.dwGatherDigitsMaxTimeout);
  };
  if (!inRange(pGather->dwFirstDigitTimeout) || !inRange(pGather->dwInterDigitTimeout)) {
    return LINEERR_INVALTIMEOUT;
  }
  if ((pGather->dwDigitModes & ~caps.dwMonitorDigitModes) != 0) return LINEERR_INVALDIGITMODE;
  if ((pGather->dwDigitModes & LINEDIGITMODE_PULSE) != 0 &&
      !AllIn(pGather->strTerminationDigits, "0123456789")) {
    return LINEERR_INVALDIGITS;
  }
  if ((pGather->dwDigitModes & LINEDIGITMODE_DTMF) != 0 &&
      !AllIn(pGather->strTerminationDigits, "0123456789ABCD*#")) {
    return LINEERR_INVALDIGITS;
  }
  TSPIDIGITGATHER* pOld = nullptr;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    pOld = m_pGather;
    pGather->dwCount = 0;
    pGather->dwLastTime = GetTickCount();
    m_pGather = pGather;
  }
  delete pOld;
  if (!IsDeleted()) {
    if (CServiceProvider* pSP = GetSP()) pSP->RegisterTimedCall(this);
  }
  return 0;
}

void CTSPICallAppearance::FinishDigitGather(DWORD dwReason) {
  TSPIDIGITGATHER* pGather = nullptr;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    pGather = m_pGather;
    m_pGather = nullptr;
  }
  EndDigitGather(pGather, dwReason);
}

void CTSPICallAppearance::EndDigitGather(TSPIDIGITGATHER* pGather, DWORD dwReason) {
  const std::unique_ptr<TSPIDIGITGATHER> owned(pGather);  // freed also when the report throws
  if (owned == nullptr) return;
  if (CTSPILineConnection* pLine = GetLineOwner()) {
    pLine->SendLineEvent(this, LINE_GATHERDIGITS, dwReason, owned->dwEndToEndID, GetTickCount());
  }
}

LONG CTSPICallAppearance::GenerateDigits(TSPIGENERATE* pGenerate) {
  if (!HasFeature(LINECALLFEATURE_GENERATEDIGITS)) return LINEERR_OPERATIONUNAVAIL;
  CTSPILineConnection* pLine = GetLineOwner();
  if (pGenerate == nullptr || pLine == nullptr) return LINEERR_OPERATIONFAILED;
  const LINEDEVCAPS caps = pLine->GetLineDevCaps();
  if ((pGenerate->dwMode & ~caps.dwGenerateDigitModes) != 0 || pGenerate->dwMode == 0) {
    return LINEERR_INVALDIGITMODE;
  }
  pGenerate->dwDuration =
      std::clamp(pGenerate->dwDuration, caps.MinDialParams.dwDigitDuration,
                 std::max(caps.MinDialParams.dwDigitDuration, caps.MaxDialParams.dwDigitDuration));
  if (pGenerate->dwMode == LINEDIGITMODE_PULSE && !AllIn(pGenerate->strDigits, "!0123456789")) {
    return LINEERR_INVALDIGITS;
  }
  if (pGenerate->dwMode == LINEDIGITMODE_DTMF &&
      !AllIn(pGenerate->strDigits, "!0123456789ABCD*#")) {
    return LINEERR_INVALDIGITS;
  }
  pLine->CompleteMatchingRequests(this, REQUEST_LINEGENERATEDIGITS, LINEERR_OPERATIONFAILED);
  return static_cast<bool>(
             pLine->QueueRequest(m_pAddr, this, REQUEST_LINEGENERATEDIGITS, 0, pGenerate, 0))
             ? 0
             : LINEERR_OPERATIONFAILED;
}

LONG CTSPICallAppearance::GenerateTone(TSPIGENERATE* pGenerate) {
  if (!HasFeature(LINECALLFEATURE_GENERATETONE)) return LINEERR_OPERATIONUNAVAIL;
  CTSPILineConnection* pLine = GetLineOwner();
  if (pGenerate == nullptr || pLine == nullptr) return LINEERR_OPERATIONFAILED;
  const LINEDEVCAPS caps = pLine->GetLineDevCaps();
  if ((pGenerate->dwMode & ~caps.dwGenerateToneModes) != 0 || pGenerate->dwMode == 0) {
    return LINEERR_INVALTONEMODE;
  }
  const DWORD dwTones = static_cast<DWORD>(pGenerate->arrTones.GetSize());
  if (dwTones != 0 && dwTones > caps.dwGenerateToneMaxNumFreq) return LINEERR_INVALTONE;
  pLine->CompleteMatchingRequests(this, REQUEST_LINEGENERATETONE, LINEERR_OPERATIONFAILED);
  return static_cast<bool>(
             pLine->QueueRequest(m_pAddr, this, REQUEST_LINEGENERATETONE, 0, pGenerate, 0))
             ? 0
             : LINEERR_OPERATIONFAILED;
}

LONG CTSPICallAppearance::MonitorDigits(DWORD dwDigitModes) {
  if (!HasFeature(LINECALLFEATURE_MONITORDIGITS)) return LINEERR_OPERATIONUNAVAIL;
  CTSPILineConnection* pLine = GetLineOwner();
  if (pLine == nullptr || (dwDigitModes & ~pLine->GetLineDevCaps().dwMonitorDigitModes) != 0) {
    return LINEERR_INVALDIGITMODE;
  }
  SetMonitorDigitModes(dwDigitModes);
  return 0;
}

LONG CTSPICallAppearance::MonitorMedia(DWORD dwMediaModes) {
  if (!HasFeature(LINECALLFEATURE_MONITORMEDIA)) return LINEERR_OPERATIONUNAVAIL;
  CTSPILineConnection* pLine = GetLineOwner();
  if (pLine == nullptr || (dwMediaModes & ~pLine->GetLineDevCaps().dwMediaModes) != 0) {
    return LINEERR_INVALMEDIAMODE;
  }
  SetMonitorMediaModes(dwMediaModes);
  return 0;
}

LONG CTSPICallAppearance::MonitorTones(TSPITONEMONITOR* pMonitor) {
  CTSPILineConnection* pLine = GetLineOwner();
  const LINEDEVCAPS caps = (pLine != nullptr) ? pLine->GetLineDevCaps() : LINEDEVCAPS{};
  if (!HasFeature(LINECALLFEATURE_MONITORTONES) || caps.dwMonitorToneMaxNumFreq == 0) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  if (pMonitor == nullptr) return LINEERR_INVALTONELIST;
  std::vector<TSPITONEMONITOR*> gone;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    auto it = std::find_if(m_arrMonitors.begin(), m_arrMonitors.end(), [&](TSPITONEMONITOR* p) {
      return p->dwToneListID == pMonitor->dwToneListID;
    });
    const INT_PTR nTones = pMonitor->arrTones.GetSize();
    if (nTones == 0) {
      if (it == m_arrMonitors.end()) return LINEERR_INVALTONELIST;
      gone.push_back(*it);
      m_arrMonitors.erase(it);
      gone.push_back(pMonitor);
    } else {
      if (static_cast<DWORD>(nTones) > caps.dwMonitorToneMaxNumEntries) return LINEERR_INVALTONE;
      for (INT_PTR i = 0; i < nTones; ++i) {
        const auto* pTone = static_cast<const LINEMONITORTONE*>(pMonitor->arrTones[i]);
        const DWORD dwFreqs =
            (pTone->dwFrequency1 != 0) + (pTone->dwFrequency2 != 0) + (pTone->dwFrequency3 != 0);
        if (dwFreqs > caps.dwMonitorToneMaxNumFreq) return LINEERR_INVALTONE;
      }
      if (it != m_arrMonitors.end()) {
        gone.push_back(*it);
        m_arrMonitors.erase(it);
      }
      m_arrMonitors.push_back(pMonitor);
    }
  }
  for (TSPITONEMONITOR* p : gone) delete p;
  return 0;
}

void CTSPICallAppearance::ClearToneMonitors() {
  std::vector<TSPITONEMONITOR*> monitors;
  std::vector<TIMEREVENT*> tones;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    monitors.swap(m_arrMonitors);
    auto it = std::stable_partition(m_arrTimers.begin(), m_arrTimers.end(),
                                    [](TIMEREVENT* p) { return p->dwType != TIMEREVENT_TONE; });
    tones.assign(it, m_arrTimers.end());
    m_arrTimers.erase(it, m_arrTimers.end());
  }
  for (TSPITONEMONITOR* p : monitors) delete p;
  for (TIMEREVENT* p : tones) delete p;
}

void CTSPICallAppearance::ClearMediaOnIdle() {
  // Under the call's lock, from the IDLE feature computation.
  m_CallInfo.dwMonitorDigitModes = 0;
  m_CallInfo.dwMonitorMediaModes = 0;
  ClearToneMonitors();
  delete m_pGather;
  m_pGather = nullptr;
  if (m_pMediaControl != nullptr) m_pMediaControl->Release();
  m_pMediaControl = nullptr;
}

void CTSPICallAppearance::ExecuteMediaControl(DWORD dwAction) {
  if (CTSPILineConnection* pLine = GetLineOwner()) pLine->ExecuteMediaControl(this, dwAction);
}

void CTSPICallAppearance::ReportToneDetected(DWORD dwToneValue, DWORD dwAppSpecific) {
  if (CTSPILineConnection* pLine = GetLineOwner()) {
    pLine->SendLineEvent(this, LINE_MONITORTONE, dwAppSpecific, dwToneValue, GetTickCount());
  }
}

void CTSPICallAppearance::ProcessMediaModeChange(DWORD dwMediaMode) {
  const DWORD dwMode = dwMediaMode & ~LINEMEDIAMODE_UNKNOWN;
  bool bReport = false;
  std::vector<DWORD> runNow;
  bool bRegister = false;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    const DWORD dwMonitor = m_CallInfo.dwMonitorMediaModes;
    bReport = dwMonitor != 0 && (dwMonitor & dwMode) == dwMode;
    if (m_pMediaControl != nullptr) {
      auto it = std::stable_partition(m_arrTimers.begin(), m_arrTimers.end(), [&](TIMEREVENT* p) {
        return p->dwType != TIMEREVENT_MEDIACONTROL || (p->dwMask & dwMode) != 0;
      });
      for (auto del = it; del != m_arrTimers.end(); ++del) delete *del;
      m_arrTimers.erase(it, m_arrTimers.end());
      for (INT_PTR i = 0; i < m_pMediaControl->arrMedia.GetSize(); ++i) {
        const auto* pEntry =
            static_cast<const LINEMEDIACONTROLMEDIA*>(m_pMediaControl->arrMedia[i]);
        if ((pEntry->dwMediaModes & dwMode) == 0) continue;
        if (pEntry->dwDuration == 0) {
          runNow.push_back(pEntry->dwMediaControl);
        } else {
          auto* pEvent = new TIMEREVENT;
          pEvent->dwStartTick = GetTickCount();
          pEvent->dwPeriod = pEntry->dwDuration;
          pEvent->dwType = TIMEREVENT_MEDIACONTROL;
          pEvent->dwData = pEntry->dwMediaControl;
          pEvent->dwMask = pEntry->dwMediaModes;
          m_arrTimers.push_back(pEvent);
          bRegister = true;
        }
      }
    }
  }
  if (bReport) {
    if (CTSPILineConnection* pLine = GetLineOwner()) {
      pLine->SendLineEvent(this, LINE_MONITORMEDIA, dwMode, 0, GetTickCount());
    }
  }
  for (DWORD dwAction : runNow) ExecuteMediaControl(dwAction);
  if (bRegister && !IsDeleted()) {
    if (CServiceProvider* pSP = GetSP()) pSP->RegisterTimedCall(this);
  }
}

BOOL CTSPICallAppearance::ServiceCallTimers() {
  CSingleLock lock(GetSyncObject());
  if (!lock.Lock(0)) return FALSE;
  DWORD dwGatherEnd = 0;
  TSPIDIGITGATHER* pTimedOut = nullptr;
  const DWORD dwNow = GetTickCount();
  if (m_pGather != nullptr) {
    const TSPIDIGITGATHER& gather = *m_pGather;
    if (gather.dwCount == 0 && gather.dwFirstDigitTimeout != 0 &&
        IsDue(dwNow, gather.dwLastTime, gather.dwFirstDigitTimeout)) {
      dwGatherEnd = LINEGATHERTERM_FIRSTTIMEOUT;
    } else if (gather.dwCount != 0 && gather.dwInterDigitTimeout != 0 &&
               IsDue(dwNow, gather.dwLastTime, gather.dwInterDigitTimeout)) {
      dwGatherEnd = LINEGATHERTERM_INTERTIMEOUT;
    }
    // Taken out here: a gather started once the lock is released is not the one that timed out.
    if (dwGatherEnd != 0) std::swap(pTimedOut, m_pGather);
  }
  std::unique_ptr<TSPIDIGITGATHER> timedOut(pTimedOut);
  std::vector<std::unique_ptr<TIMEREVENT>> due;
  for (auto it = m_arrTimers.begin(); it != m_arrTimers.end();) {
    if (IsDue(GetTickCount(), (*it)->dwStartTick, (*it)->dwPeriod)) {
      due.emplace_back(*it);
      it = m_arrTimers.erase(it);
    } else {
      ++it;
    }
  }
  lock.Unlock();
  // What was taken out is this pass's alone: each is served, and freed, even when another one
  // throws; a throw is logged.
  auto serve = [](auto&& work) {
    try {
      work();
    } catch (...) {
      LogCaughtException("CTSPICallAppearance::ServiceCallTimers");
    }
  };
  serve([&] { EndDigitGather(timedOut.release(), dwGatherEnd); });
  for (const std::unique_ptr<TIMEREVENT>& pEvent : due) {
    serve([&] {
      if (pEvent->dwType == TIMEREVENT_MEDIACONTROL || pEvent->dwType == TIMEREVENT_MEDIACONTROL2) {
        ExecuteMediaControl(pEvent->dwData);
      } else if (pEvent->dwType == TIMEREVENT_TONE) {
        ReportToneDetected(pEvent->dwData, pEvent->dwMask);
      }
    });
  }
  CSingleLock relock(GetSyncObject());
  if (!relock.Lock(0)) return FALSE;
  return (m_arrTimers.empty() && m_pGather == nullptr) ? TRUE : FALSE;
}
