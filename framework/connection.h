// CTSPIConnection: common base of line and phone devices; holds the device's queue of
// asynchronous requests.
//
// Contract of the queue:
// - QueueRequest creates a request, lets AcceptNewRequest refuse it or move it, inserts it (a
//   drop at the head, everything else at the tail) and starts it at once when it went into an
//   empty queue or to the head. Otherwise it waits until the requests ahead of it complete.
//   When it answers NULL the caller still owns the record.
// - Look-ups (QueueRequest's answer, FindRequest, GetRequest, GetCurrentRequest,
//   FetchRequestToStart) hand out a CTSPIRequestPtr: a reference taken under the lock, so the
//   request stays alive while the holder uses it, whoever completes or fails it meanwhile.
//   Every operation below that takes a request pointer needs one the caller holds that way (or
//   the request a follow-up was handed): it finds the request in the queue by that identity, and
//   a held request's address cannot be taken over by a newer one. A response, for example:
//     if (CTSPIRequestPtr pReq = FindRequest(pCall, REQUEST_LINEHOLD))
//       CompleteRequest(pReq.Get(), lResult);
// - Only the thread that unlinks a request from the queue reports it, completes it and releases
//   the queue's reference (CompleteRequest with bRemove, CompleteMatchingRequests, RemoveRequest,
//   the destructor). A completion that finds its request already unlinked does nothing.
// - Each request with a non-zero ID reaches TAPI's completion callback at most once; ID 0 never.
// - CompleteRequest starts the next request on the completing thread when one may start;
//   CompleteMatchingRequests starts nothing. A start is asked of the provider only when
//   FetchRequestToStart would find a request. Starts run one at a time (a start asked for
//   meanwhile is left to the thread that is starting), except that a drop asked for on another
//   thread starts there at once: it never waits for a start that may itself wait for the switch.
//   A start that throws fails the request it took (nothing else would finish it), the next
//   request starts, and the exception goes on to the thread's or the export's boundary.
//   A line's ProcessData takes its request with FetchRequestToStart, so the choice and the
//   queue's state cannot drift apart.
// - Waits for pending requests are bounded (the provider's default request wait unless told
//   otherwise); a close that must see requests finished uses WaitOrFailPendingRequests.
// - The list is read and changed only under the object's lock. No device, provider, address or
//   call follow-up is called while the queue code holds that lock (only IsRequestForCall, and
//   the release of a record's reference on a call that goes away, which its caller still holds).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "framework/ado_array.h"
#include "framework/base_object.h"
#include "framework/request.h"
#include "platform/afx.h"
#include "platform/afxcoll.h"
#include "platform/wintypes.h"

class CTSPIDevice;
class CTSPIAddressInfo;
class CTSPICallAppearance;

// Connection flags.
inline constexpr DWORD CONNFLAG_REMOVED = 0x1;            // entry points refuse the handle
inline constexpr DWORD CONNFLAG_REMOVEONCLOSE = 0x2;      // closing turns it into REMOVED
inline constexpr DWORD CONNFLAG_CALLCOUNTSCHANGED = 0x4;  // line call counters changed

class CTSPIConnection : public CTSPIBaseObject {
  DECLARE_DYNAMIC(CTSPIConnection)
 public:
  ~CTSPIConnection() override;

  // Virtual operations, in slot order.
  // Position 0 inserts at the head (TRUE); -1 or a position not below the count appends at the
  // tail (TRUE when the queue was empty); 1..count-1 inserts before that request (FALSE). TRUE
  // means: start the next request now.
  virtual BOOL InsertRequest(CTSPIRequest* pReq, int nPos);
  virtual void Init(CTSPIDevice* pDevice, DWORD dwDeviceID);
  virtual DWORD GetPermanentDeviceID() const = 0;
  // 0 ms means the provider's default request wait. The caller holds the request. -1 on
  // time-out; the request then stays queued.
  virtual LONG WaitForRequest(DWORD dwMsecs, CTSPIRequest* pReq);
  // The head request (marked fetched), or NULL.
  virtual CTSPIRequestPtr GetCurrentRequest();
  virtual BOOL OpenConnection();
  virtual BOOL CloseConnection();
  virtual BOOL SendConnectionData(LPCVOID lpBuff, DWORD dwSize);
  // (0, NULL, 0) means: start the next request (see FetchRequestToStart).
  virtual BOOL ProcessData(DWORD dwData, LPCVOID lpBuff, DWORD dwSize);
  virtual BOOL AcceptNewRequest(CTSPIRequest* pReq, int& nPos);
  virtual void OnRequestCancelled(CTSPIRequest* pReq);
  virtual void OnRequestComplete(CTSPIRequest* pReq, LONG lResult) = 0;
  virtual void OnIntervalTimer();
  // Match test of CompleteMatchingRequests; pure (changes nothing). pCall NULL: any call;
  // wType REQUEST_ANY: any type; bOnlyNew: only requests never fetched.
  virtual BOOL IsRequestForCall(CTSPIRequest* pReq, CTSPICallAppearance* pCall, WORD wType,
                                BOOL bOnlyNew);

  // The queue. lpRecord/pRecord is handed to the request (see CTSPIRequest::Init). The answer
  // holds a reference for the caller (the request may be completed already); NULL when the
  // request could not be made or was refused.
  CTSPIRequestPtr QueueRequest(CTSPIAddressInfo* pAddr, CTSPICallAppearance* pCall, WORD wType,
                               DRV_REQUESTID dwRequestID, LPVOID lpRecord, DWORD dwRecordSize);
  CTSPIRequestPtr QueueRequest(CTSPIAddressInfo* pAddr, CTSPICallAppearance* pCall, WORD wType,
                               DRV_REQUESTID dwRequestID, CObject* pRecord, DWORD dwRecordSize);
  CTSPIRequestPtr QueueRequest(CTSPIAddressInfo* pAddr, CTSPICallAppearance* pCall, WORD wType,
                               DRV_REQUESTID dwRequestID, std::nullptr_t, DWORD dwRecordSize);
  // First request from the head for the call (NULL: any) and type (REQUEST_ANY: any); marks it
  // fetched. NULL when none.
  CTSPIRequestPtr FindRequest(CTSPICallAppearance* pCall, WORD wType);
  // Request at nIndex from the head, marked fetched; NULL when nIndex is outside the queue.
  CTSPIRequestPtr GetRequest(int nIndex);
  int GetRequestCount();
  BOOL IsRequestQueued(CTSPIRequest* pReq);
  // Whether a request for the call (NULL: any) and type (REQUEST_ANY: any) is queued; unlike
  // FindRequest it marks nothing.
  BOOL HasRequest(CTSPICallAppearance* pCall, WORD wType);
  // Unlinks the request when it is queued (TRUE) and signals its event. With bDelete the queue's
  // reference is then dropped; without, the caller takes it over. A request that is not queued
  // is left alone.
  BOOL RemoveRequest(CTSPIRequest* pReq, BOOL bDelete = TRUE);
  // Waits, without holding the lock, until no request of the call (NULL: any) and type
  // (REQUEST_ANY: any) is queued, at most dwMsecs (0: the provider's default request wait;
  // INFINITE: no limit). TRUE when none is left.
  BOOL WaitForPendingRequests(CTSPICallAppearance* pCall = nullptr, WORD wType = REQUEST_ANY,
                              DWORD dwMsecs = 0);
  // For a close: WaitForPendingRequests, then those of the requests still queued fail with
  // LINEERR_OPERATIONFAILED (CompleteMatchingRequests). TRUE when none had to be failed.
  BOOL WaitOrFailPendingRequests(CTSPICallAppearance* pCall, WORD wType, DWORD dwMsecs = 0);
  // With bRemove: unlink, report (when bTellTapi, ID not 0, not yet reported), Complete,
  // release, then start the next request when one may start. Without bRemove the
  // request stays queued: report and Complete only. Does nothing for a request not queued.
  void CompleteRequest(CTSPIRequest* pReq, LONG lResult, BOOL bTellTapi = TRUE,
                       BOOL bRemove = TRUE);
  // For ProcessData (0, NULL, 0) of a derived line: under the lock, the request a start takes,
  // marked STATE_STARTED, or NULL when none may start now. That is the first request not yet
  // started, when it is a drop, or at the head, or no other request but drops is started and
  // still queued: one request at a time waits for its answer, drops start at once.
  CTSPIRequestPtr FetchRequestToStart();
  // Unlinks every queued request (but pExcept) that IsRequestForCall matches, then, outside the
  // lock and in queue order: the calls that the failed request leaves behind go IDLE,
  // OnRequestCancelled (state not 0), report (once), Complete (reported), release.
  void CompleteMatchingRequests(CTSPICallAppearance* pCall, WORD wType, LONG lResult,
                                BOOL bOnlyNew = FALSE, CTSPIRequest* pExcept = nullptr);

  CTSPIDevice* GetDevice() const { return m_pDevice; }
  DWORD GetDeviceID() const;
  // The device's look-ups by ID follow the change at once.
  void SetDeviceID(DWORD dwDeviceID);
  CString GetName() const;
  void SetName(LPCSTR pszName);
  CString GetSwitchInfo() const;
  void SetSwitchInfo(LPCSTR pszInfo);
  DWORD GetNegotiatedVersion() const;
  void SetNegotiatedVersion(DWORD dwVersion);
  DWORD GetFlags() const;
  void SetFlags(DWORD dwFlags);    // ORs the bits in
  void ClearFlags(DWORD dwFlags);  // clears the bits
  // Owning array of DEVICECLASSINFO; read and changed under the object's lock.
  CADObArray& GetDeviceClassArray() { return m_arrDeviceClass; }

 protected:
  CTSPIConnection();

 private:
  CTSPIRequest* CreateRequest();
  CTSPIRequestPtr QueueInitialisedRequest(CTSPIRequest* pReq);
  // Starts the next request through the provider when one may start, one start at a time:
  // while another thread (or an outer call on this one) is starting, the start is left to it,
  // unless it is a drop and this is another thread.
  // A start that throws fails the request it fetched last (when still queued) with the
  // family's OPERATIONFAILED and starts the next one, then lets the exception go on.
  void StartNextRequest();
  class CStartRecord;
  // Asks the provider to start; when that throws, pFetched is what it fetched last.
  void AskProviderToStart(CTSPIRequestPtr& pFetched);
  // pReq: the request fetched by a start that threw (NULL: none); bStartNext: another start was
  // asked for meanwhile. Outside every lock.
  void FailThrownStart(CTSPIRequest* pReq, bool bStartNext) noexcept;
  // The first queued request of the call and type, or NULL; under the lock.
  CTSPIRequest* FindPendingLocked(CTSPICallAppearance* pCall, WORD wType) const;
  CTSPIRequest* NextToStartLocked() const;
  // Reports (once) and completes a request this thread took over.
  void FinishRequest(CTSPIRequest* pReq, LONG lResult, BOOL bTellTapi);
  // Wakes WaitForPendingRequests after requests left the queue.
  void NotifyUnlinked();
  uint64_t GetUnlinkCount();
  // Under the lock: clears, in the records of the requests still queued, the references to a
  // call that goes away (set-up transfer's consultation call, complete transfer's conference
  // call, set-up conference's consultation call).
  void ForgetCallInRecords(CTSPICallAppearance* pCall, WORD wType, CTSPIRequest* pExcept);
  // Outside the lock: the calls a matched request leaves behind go IDLE.
  void ReleaseCallsOfFailedRequest(CTSPIRequest* pReq, CTSPICallAppearance* pCall, BOOL bOnlyNew);
  POSITION FindPosition(CTSPIRequest* pReq) const;

  std::atomic<DWORD> m_dwFlags{0};
  CTSPIDevice* m_pDevice = nullptr;
  CString m_strName;
  CString m_strSwitchInfo;
  std::atomic<DWORD> m_dwDeviceID{0};
  std::atomic<DWORD> m_dwNegotiatedVersion{0};
  CObList m_lstAsynchRequests{10};
  CADObArray m_arrDeviceClass;
  // Start coordination, under the object's lock.
  bool m_bStarting = false;
  bool m_bStartAgain = false;
  std::thread::id m_idStarter;
  // Counts requests leaving the queue; WaitForPendingRequests sleeps on it. A leaf lock.
  std::mutex m_mxUnlinked;
  std::condition_variable m_cvUnlinked;
  uint64_t m_nUnlinked = 0;
};
