// CTSPIConferenceCall: the call that stands for a whole conference (TAPI's hdConfCall).
//
// Contract: a call of type CALLTYPE_CONFERENCE, created through the provider's conference-call
// runtime class, that lists its members in the order they joined. The list holds a reference on
// each member; a member's own conference field points back while it belongs. Its features are
// narrowed to what a conference handle can do. Membership changes under the conference's lock,
// but members' locks are never taken under it (a member's lock comes first): members are copied
// out, with references, and served after the conference's lock is released.
// All members are in conference_call.cpp.
#pragma once

#include <vector>

#include "framework/call_appearance.h"

class TSPICONFERENCE;

class CTSPIConferenceCall : public CTSPICallAppearance {
  DECLARE_DYNCREATE(CTSPIConferenceCall)
 public:
  CTSPIConferenceCall();
  ~CTSPIConferenceCall() override;

  void ComputeCallFeatures(DWORD dwState, DWORD dwMode, DWORD dwMediaMode) override;
  void OnRelatedCallStateChange(CTSPICallAppearance* pCall, DWORD dwNewState,
                                DWORD dwOldState) override;
  void OnRequestComplete(CTSPIRequest* pReq, LONG lResult) override;
  virtual LONG PrepareAddToConference(DRV_REQUESTID dwRequestID, HTAPICALL htConsultCall,
                                      CTSPICallAppearance** ppConsultCall, TSPICONFERENCE* pConf);
  virtual LONG AddToConference(DRV_REQUESTID dwRequestID, CTSPICallAppearance* pConsultCall,
                               TSPICONFERENCE* pConf);
  virtual LONG RemoveFromConference(DRV_REQUESTID dwRequestID, CTSPICallAppearance* pCall,
                                    TSPICONFERENCE* pConf);

  BOOL IsConferenceMember(CTSPICallAppearance* pCall) const;
  void AddMember(CTSPICallAppearance* pCall);
  void RemoveMember(CTSPICallAppearance* pCall, BOOL bCheckState);
  BOOL CanRemoveMember(CTSPICallAppearance* pCall) const;
  INT_PTR GetMemberCount() const;
  // The member at nIndex with a reference for the caller, NULL outside the list.
  CTSPICallAppearance* GetMemberRef(INT_PTR nIndex) const;

 protected:
  void DetachForDelete() override;

 private:
  std::vector<CTSPICallAppearance*> SnapshotMembers() const;
  // A member in CONFERENCED is listed; the conference's own consultation call stops being one.
  void TakeMember(CTSPICallAppearance* pCall, BOOL bListAnyState);
  // An add that was refused or failed: the call lets go of this conference, unless it joined.
  void ReleaseRefusedCall(CTSPICallAppearance* pCall);

  std::vector<CTSPICallAppearance*> m_arrMembers;  // each with a reference
};
