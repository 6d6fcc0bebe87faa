// CCallRef: the counted reference that a parameter record holds on each call it names (the
// calls of a transfer or conference, the other call of a swap-hold, a completion's call), so
// that a call named by a record cannot be deleted while the record may still read it.
//
// Contract: storing a call takes one reference on it; replacing it, clearing it (= NULL) or
// destroying the holder releases that reference, and the last release deletes the call.
// A copy holds a reference of its own. The holder reads like a plain call pointer. It has no
// lock: it is guarded by whatever guards the record that contains it.
#pragma once

#include "platform/wintypes.h"

class CTSPICallAppearance;

class CCallRef {
 public:
  CCallRef() = default;
  CCallRef(CTSPICallAppearance* pCall);  // NOLINT: implicit, reads like the plain pointer
  CCallRef(const CCallRef& other);
  CCallRef& operator=(const CCallRef& other);
  CCallRef& operator=(CTSPICallAppearance* pCall);
  ~CCallRef();

  CTSPICallAppearance* Get() const { return m_pCall; }
  operator CTSPICallAppearance*() const { return m_pCall; }  // NOLINT: implicit by design
  CTSPICallAppearance* operator->() const { return m_pCall; }

 private:
  CTSPICallAppearance* m_pCall = nullptr;
};
