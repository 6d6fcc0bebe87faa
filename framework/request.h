// CTSPIRequest: one asynchronous TAPI request queued on a line or phone connection, and the
// request type codes.
//
// Contract:
// - A request is created from the provider's request runtime class and initialised with Init;
//   from then on it owns its parameter record (freed by the destructor according to the type
//   table in request.cpp) and holds one reference on its call.
// - Requests are reference-counted. The queue of its connection holds the first reference; every
//   look-up of the queue hands out one more, taken under the connection lock, in a
//   CTSPIRequestPtr. "Deleting" a request means releasing the queue's reference; the last
//   Release destroys it, so a request that a thread still holds outlives its leaving the queue.
// - The reported flag is sticky: once a request has been reported to TAPI it never is again.
//   ClaimReport() is the one atomic test-and-set that decides who reports.
// - Complete runs the follow-ups (connection, address, call), then signals the completion event;
//   the event is manual-reset and stays signalled.
#pragma once

#include <atomic>
#include <cstddef>
#include <utility>

#include "platform/afx.h"
#include "platform/afxmt.h"
#include "platform/wintypes.h"

class CTSPIConnection;
class CTSPILineConnection;
class CTSPIPhoneConnection;
class CTSPIAddressInfo;
class CTSPICallAppearance;

// Request type codes (the request's type WORD).
inline constexpr WORD REQUEST_LINEACCEPT = 1;
inline constexpr WORD REQUEST_LINEADDTOCONFERENCE = 2;
inline constexpr WORD REQUEST_LINEANSWER = 3;
inline constexpr WORD REQUEST_LINEBLINDTRANSFER = 4;
inline constexpr WORD REQUEST_LINECOMPLETECALL = 5;
inline constexpr WORD REQUEST_LINECOMPLETETRANSFER = 6;
inline constexpr WORD REQUEST_LINEDIAL = 7;
inline constexpr WORD REQUEST_LINEDROP = 8;
inline constexpr WORD REQUEST_LINEFORWARD = 9;
inline constexpr WORD REQUEST_LINEHOLD = 10;
inline constexpr WORD REQUEST_LINEMAKECALL = 11;
inline constexpr WORD REQUEST_LINEPARK = 12;
inline constexpr WORD REQUEST_LINEPICKUP = 13;
inline constexpr WORD REQUEST_LINEREDIRECT = 14;
inline constexpr WORD REQUEST_LINEREMOVEFROMCONFERENCE = 15;
inline constexpr WORD REQUEST_LINESECURECALL = 16;
inline constexpr WORD REQUEST_LINESENDUSERUSERINFO = 17;
inline constexpr WORD REQUEST_LINESETCALLPARAMS = 18;
inline constexpr WORD REQUEST_LINESETTERMINAL = 19;
inline constexpr WORD REQUEST_LINESETUPCONFERENCE = 20;
inline constexpr WORD REQUEST_LINESETUPTRANSFER = 21;
inline constexpr WORD REQUEST_LINESWAPHOLD = 22;
inline constexpr WORD REQUEST_LINEUNCOMPLETECALL = 23;
inline constexpr WORD REQUEST_LINEUNHOLD = 24;
inline constexpr WORD REQUEST_LINEUNPARK = 25;
inline constexpr WORD REQUEST_LINESETMEDIACONTROL = 26;
inline constexpr WORD REQUEST_LINEPREPAREADDTOCONFERENCE = 27;
inline constexpr WORD REQUEST_LINEGENERATEDIGITS = 28;
inline constexpr WORD REQUEST_LINEGENERATETONE = 29;
// 30 is not assigned.
inline constexpr WORD REQUEST_LINESETCALLDATA = 31;
inline constexpr WORD REQUEST_LINESETCALLQUALITYOFSERVICE = 32;
inline constexpr WORD REQUEST_LINESETCALLTREATMENT = 33;
inline constexpr WORD REQUEST_LINESETLINEDEVSTATUS = 34;
inline constexpr WORD REQUEST_PHONESETBUTTONINFO = 35;
inline constexpr WORD REQUEST_PHONESETDISPLAY = 36;
inline constexpr WORD REQUEST_PHONESETGAIN = 37;
inline constexpr WORD REQUEST_PHONESETHOOKSWITCH = 38;
inline constexpr WORD REQUEST_PHONESETLAMP = 39;
inline constexpr WORD REQUEST_PHONESETRING = 40;
inline constexpr WORD REQUEST_PHONESETVOLUME = 41;
inline constexpr WORD REQUEST_PHONESETDATA = 42;
inline constexpr WORD REQUEST_PHONEGETDATA = 43;
// Wildcard of the queue look-ups; never a request's own type.
inline constexpr WORD REQUEST_ANY = 0xFFFF;

// Request states: -1 queued and not yet fetched, 0 fetched, 1 started; a derived line may use
// higher values for its own steps.
inline constexpr int STATE_NOTPROCESSED = -1;
inline constexpr int STATE_FETCHED = 0;
inline constexpr int STATE_STARTED = 1;

class CTSPIRequest : public CObject {
  DECLARE_DYNCREATE(CTSPIRequest)
 public:
  CTSPIRequest();
  ~CTSPIRequest() override;

  // Waits on the completion event: -1 on time-out, else the stored result. The caller keeps the
  // request alive for the wait (a reference of its own, or the queue's while it is queued).
  virtual LONG WaitForCompletion(DWORD dwMsecs);
  // Stores the arguments and takes one reference on the call (when not NULL). lpRecord is the
  // parameter record or raw buffer; pRecordObject is the same record when it is an object (then
  // deleted through its virtual destructor), NULL for a raw buffer (freed with FreeBuffer).
  virtual void Init(CTSPIConnection* pConn, CTSPIAddressInfo* pAddr, CTSPICallAppearance* pCall,
                    WORD wType, DRV_REQUESTID dwRequestID, LPVOID lpRecord, DWORD dwRecordSize,
                    CObject* pRecordObject = nullptr);
  // Sets the (sticky) reported flag and the result, runs the connection's, the address's and the
  // call's follow-ups in that order, signals the completion event and yields the processor.
  virtual void Complete(LONG lResult, BOOL bTellTapi);

  void AddRef();
  // Drops one reference; the last one destroys the request.
  void Release();

  CTSPIConnection* GetConnection() const { return m_pConn; }
  CTSPILineConnection* GetLineConnection() const;    // NULL when the owner is not a line
  CTSPIPhoneConnection* GetPhoneConnection() const;  // NULL when the owner is not a phone
  CTSPIAddressInfo* GetAddress() const { return m_pAddress; }
  CTSPICallAppearance* GetCall() const { return m_pCall; }
  WORD GetType() const { return m_wType; }
  DRV_REQUESTID GetRequestID() const { return m_dwRequestID; }
  LPVOID GetRecord() const { return m_lpRecord; }
  // The record as an object, NULL when it was handed over as a raw buffer (or is NULL).
  CObject* GetRecordObject() const { return m_pRecordObject; }
  DWORD GetRecordSize() const { return m_dwRecordSize; }
  LONG GetResult() const { return m_lResult.load(); }
  int GetState() const { return m_nState.load(); }
  void SetState(int nState) { m_nState.store(nState); }
  BOOL IsReported() const { return m_bReported.load() ? TRUE : FALSE; }
  CEvent& GetCompletionEvent() { return m_evtComplete; }

  // Marks the request reported and answers TRUE exactly once: for the caller that must report it.
  // A request with ID 0 is never claimed.
  BOOL ClaimReport();
  // Marks a state -1 request fetched (0); other states stay.
  void MarkFetched();
  // Leaves the record with the caller: the request forgets it and will not free it.
  void DetachRecord();
  // Called once the request is queued: from then on it holds its share of a reference-counted
  // record (the media-control record), released by the destructor.
  void HoldSharedRecord();

 private:
  void FreeRecord();

  CTSPIConnection* m_pConn = nullptr;
  CTSPIAddressInfo* m_pAddress = nullptr;
  CTSPICallAppearance* m_pCall = nullptr;
  CEvent m_evtComplete;
  DRV_REQUESTID m_dwRequestID = 0;
  LPVOID m_lpRecord = nullptr;
  CObject* m_pRecordObject = nullptr;
  DWORD m_dwRecordSize = 0;
  std::atomic<LONG> m_lResult{-1};
  std::atomic<int> m_nState{STATE_NOTPROCESSED};
  std::atomic<bool> m_bReported{false};
  WORD m_wType = 0;
  bool m_bHoldsSharedRecord = false;
  std::atomic<LONG> m_lRefCount{1};
};

// One counted reference on a request, as the queue's look-ups hand it out: the request stays
// alive (it may leave the queue meanwhile) until the holder lets go. Move-only.
class CTSPIRequestPtr {
 public:
  CTSPIRequestPtr() = default;
  CTSPIRequestPtr(std::nullptr_t) {}  // NOLINT: reads like the plain pointer
  // Takes a reference of its own; the caller must keep the request alive meanwhile.
  static CTSPIRequestPtr Share(CTSPIRequest* pReq) {
    if (pReq != nullptr) pReq->AddRef();
    return CTSPIRequestPtr(pReq);
  }
  CTSPIRequestPtr(CTSPIRequestPtr&& other) noexcept : m_pReq(other.Detach()) {}
  CTSPIRequestPtr& operator=(CTSPIRequestPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      m_pReq = other.Detach();
    }
    return *this;
  }
  CTSPIRequestPtr(const CTSPIRequestPtr&) = delete;
  CTSPIRequestPtr& operator=(const CTSPIRequestPtr&) = delete;
  ~CTSPIRequestPtr() { Reset(); }

  CTSPIRequest* Get() const { return m_pReq; }
  CTSPIRequest* operator->() const { return m_pReq; }
  explicit operator bool() const { return m_pReq != nullptr; }
  // Lets go of the reference.
  void Reset() {
    if (CTSPIRequest* pReq = std::exchange(m_pReq, nullptr)) pReq->Release();
  }
  // Hands the reference to the caller, who must Release it.
  CTSPIRequest* Detach() { return std::exchange(m_pReq, nullptr); }

 private:
  explicit CTSPIRequestPtr(CTSPIRequest* pReq) : m_pReq(pReq) {}
  CTSPIRequest* m_pReq = nullptr;
};
