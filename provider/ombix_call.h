// COmbixCall and COmbixConfCall: the switch provider's call and conference call. Each carries the
// switch's 12-byte id of the call (all zero until the switch has reported the call); bytes 8 to
// 11, big-endian, are the call number by which the line keeps its calls apart.
//
// The id changes under the call's own lock; any thread may read it. A call made by lineMakeCall
// while another call is active carries the hold wait of its request: the provider's timer thread
// tells the line once that wait has passed (the hold-wait fields are atomic words).
#pragma once

#include <atomic>

#include "framework/call_appearance.h"
#include "framework/conference_call.h"
#include "switchapi/ombix_wire.h"

class COmbixCall : public CTSPICallAppearance {
  DECLARE_DYNCREATE(COmbixCall)
 public:
  COmbixCall();
  ~COmbixCall() override;

  ObjectId GetObjectId() const;
  void SetObjectId(const ObjectId& oid);

  // Starts (or ends) the hold wait of the make-call that created this call.
  void ArmHoldWait(DWORD dwMsecs);
  void DisarmHoldWait();
  BOOL ServiceCallTimers() override;

 private:
  ObjectId m_oidCall{};  // under the call's lock
  std::atomic<bool> m_bHoldWaitArmed{false};
  std::atomic<DWORD> m_dwHoldWaitStart{0};
  std::atomic<DWORD> m_dwHoldWaitPeriod{0};
};

class COmbixConfCall : public CTSPIConferenceCall {
  DECLARE_DYNCREATE(COmbixConfCall)
 public:
  COmbixConfCall();
  ~COmbixConfCall() override;

  ObjectId GetObjectId() const;
  void SetObjectId(const ObjectId& oid);

 private:
  ObjectId m_oidCall{};  // under the call's lock
};

// The switch's id of any call: the conference call's for a conference, the call's otherwise; all
// zero for a call of neither class.
ObjectId OmbixCallId(const CTSPICallAppearance* pCall);
