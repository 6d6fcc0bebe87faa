#include "provider/ombix_call.h"

#include "platform/afxmt.h"

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
