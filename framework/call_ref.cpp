#include "framework/call_ref.h"

#include "framework/call_appearance.h"

namespace {

void AddCallRef(CTSPICallAppearance* pCall) {
  if (pCall != nullptr) pCall->AddRef();
}

void ReleaseCallRef(CTSPICallAppearance* pCall) {
  if (pCall != nullptr) pCall->Release();
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
