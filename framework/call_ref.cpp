#include "framework/call_ref.h"

#include "framework/request_seams.h"

// The call's own counting is reached through the request seams until the call class exists;
// then these two become pCall->AddRef() and pCall->Release().
namespace {

void AddCallRef(CTSPICallAppearance* pCall) {
  if (pCall == nullptr) return;
  if (auto pfn = GetTSPIRequestSeams().pfnCallAddRef) pfn(pCall);
}

void ReleaseCallRef(CTSPICallAppearance* pCall) {
  if (pCall == nullptr) return;
  if (auto pfn = GetTSPIRequestSeams().pfnCallRelease) pfn(pCall);
}

}  // namespace

CCallRef::CCallRef(CTSPICallAppearance* pCall) : m_pCall(pCall) {
  AddCallRef(m_pCall);
}

CCallRef::CCallRef(const CCallRef& other) : m_pCall(other.m_pCall) {
  AddCallRef(m_pCall);
}

CCallRef& CCallRef::operator=(const CCallRef& other) {
  return *this = other.m_pCall;
}

CCallRef& CCallRef::operator=(CTSPICallAppearance* pCall) {
  // Take the new reference before letting go of the old one: they may name the same call.
  AddCallRef(pCall);
  CTSPICallAppearance* pOld = m_pCall;
  m_pCall = pCall;
  ReleaseCallRef(pOld);
  return *this;
}

CCallRef::~CCallRef() {
  ReleaseCallRef(m_pCall);
}
