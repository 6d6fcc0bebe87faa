#include "provider/ombix_call.h"

#include "framework/service_provider.h"
#include "platform/afxmt.h"
#include "platform/win32.h"
#include "provider/ombix_line.h"

IMPLEMENT_DYNCREATE(COmbixCall, CTSPICallAppearance)
IMPLEMENT_DYNCREATE(COmbixConfCall, CTSPIConferenceCall)

COmbixCall::COmbixCall() = default;
COmbixCall::~COmbixCall() = default;

ObjectId COmbixCall::GetObjectId() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_oidCall;
}

void COmbixCall::SetObjectId(const ObjectId& oid) {
  CSingleLock lock(GetSyncObject(), TRUE);
  m_oidCall = oid;
}

void COmbixCall::ArmHoldWait(DWORD dwMsecs) {
  m_dwHoldWaitStart.store(GetTickCount());
  m_dwHoldWaitPeriod.store(dwMsecs);
  m_bHoldWaitArmed.store(true);
  if (IsDeleted()) return;
  if (CServiceProvider* pSP = GetSP()) pSP->RegisterTimedCall(this);
}

void COmbixCall::DisarmHoldWait() {
  m_bHoldWaitArmed.store(false);
}

BOOL COmbixCall::ServiceCallTimers() {
  if (m_bHoldWaitArmed.load() &&
      GetTickCount() - m_dwHoldWaitStart.load() >= m_dwHoldWaitPeriod.load() &&
      m_bHoldWaitArmed.exchange(false)) {
    if (auto* pLine = dynamic_cast<COmbixLine*>(GetLineOwner())) pLine->OnHoldWaitExpired(this);
  }
  const BOOL bDone = CTSPICallAppearance::ServiceCallTimers();
  return (bDone && !m_bHoldWaitArmed.load()) ? TRUE : FALSE;
}

COmbixConfCall::COmbixConfCall() = default;
COmbixConfCall::~COmbixConfCall() = default;

ObjectId COmbixConfCall::GetObjectId() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_oidCall;
}

void COmbixConfCall::SetObjectId(const ObjectId& oid) {
  CSingleLock lock(GetSyncObject(), TRUE);
  m_oidCall = oid;
}

ObjectId OmbixCallId(const CTSPICallAppearance* pCall) {
  if (const auto* pConf = dynamic_cast<const COmbixConfCall*>(pCall)) return pConf->GetObjectId();
  if (const auto* pOmbix = dynamic_cast<const COmbixCall*>(pCall)) return pOmbix->GetObjectId();
  return ObjectId{};
}
