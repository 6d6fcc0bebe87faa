#include "framework/request.h"

#include <thread>

#include "framework/address_info.h"
#include "framework/alloc_buffer.h"
#include "framework/call_appearance.h"
#include "framework/connection.h"
#include "framework/line_connection.h"
#include "framework/media_records.h"
#include "framework/phone_connection.h"
#include "framework/request_records.h"

IMPLEMENT_DYNCREATE(CTSPIRequest, CObject)

namespace {

// What the request does with its record when it is destroyed.
enum class RecordRule {
  kNone,      // not owned (or no record)
  kBuffer,    // FreeBuffer (an object handed over as such is deleted instead)
  kObject,    // delete an object, FreeBuffer a raw buffer
  kShared,    // reference-counted: release the request's share
  kSwapHold,  // the swap-hold record that names the other call, when one was built
};

RecordRule RuleFor(WORD wType) {
  switch (wType) {
    case REQUEST_LINEACCEPT:
    case REQUEST_LINEANSWER:
    case REQUEST_LINEDROP:
    case REQUEST_LINESENDUSERUSERINFO:
      return RecordRule::kBuffer;
    case REQUEST_LINEHOLD:
    case REQUEST_LINESECURECALL:
    case REQUEST_LINEUNCOMPLETECALL:  // the line's own completion entry
    case REQUEST_LINEUNHOLD:
    case REQUEST_LINESETCALLTREATMENT:  // a value, no record
    case REQUEST_LINESETLINEDEVSTATUS:  // values, no record
      return RecordRule::kNone;
    case REQUEST_LINESWAPHOLD:
      return RecordRule::kSwapHold;
    case REQUEST_LINESETMEDIACONTROL:
      return RecordRule::kShared;
    default:
      // Every other assigned type carries a record or a DIALINFO array that the request owns,
      // the set-lamp record included: nobody else would free it.
      return (wType >= REQUEST_LINEACCEPT && wType <= REQUEST_PHONEGETDATA) ? RecordRule::kObject
                                                                            : RecordRule::kNone;
  }
}

}  // namespace

CTSPIRequest::CTSPIRequest() : m_evtComplete(FALSE, TRUE) {}

CTSPIRequest::~CTSPIRequest() {
  // Nobody can wait any more (a waiter holds a reference), but a signalled event is the
  // documented end state.
  m_evtComplete.SetEvent();
  FreeRecord();
  // Last: the record may name the call too.
  if (m_pCall != nullptr) m_pCall->Release();
}

void CTSPIRequest::Init(CTSPIConnection* pConn, CTSPIAddressInfo* pAddr, CTSPICallAppearance* pCall,
                        WORD wType, DRV_REQUESTID dwRequestID, LPVOID lpRecord, DWORD dwRecordSize,
                        CObject* pRecordObject) {
  m_pConn = pConn;
  m_pAddress = pAddr;
  m_pCall = pCall;
  m_wType = wType;
  m_dwRequestID = dwRequestID;
  m_lpRecord = lpRecord;
  m_pRecordObject = pRecordObject;
  m_dwRecordSize = dwRecordSize;
  if (m_pCall != nullptr) m_pCall->AddRef();
}

void CTSPIRequest::Complete(LONG lResult, BOOL bTellTapi) {
  if (bTellTapi) m_bReported.store(true);  // sticky: a later Complete never clears it
  m_lResult.store(lResult);
  if (m_pConn != nullptr) m_pConn->OnRequestComplete(this, lResult);
  if (m_pAddress != nullptr) m_pAddress->OnRequestComplete(this, lResult);
  if (m_pCall != nullptr) m_pCall->OnRequestComplete(this, lResult);
  m_evtComplete.SetEvent();
  // Let a thread that waits on the event run before the completing thread goes on.
  std::this_thread::yield();
}

LONG CTSPIRequest::WaitForCompletion(DWORD dwMsecs) {
  if (!m_evtComplete.Lock(dwMsecs)) return -1;
  return m_lResult.load();
}

void CTSPIRequest::AddRef() {
  m_lRefCount.fetch_add(1);
}

void CTSPIRequest::Release() {
  if (m_lRefCount.fetch_sub(1) == 1) delete this;
}

CTSPILineConnection* CTSPIRequest::GetLineConnection() const {
  return dynamic_cast<CTSPILineConnection*>(m_pConn);
}

CTSPIPhoneConnection* CTSPIRequest::GetPhoneConnection() const {
  return dynamic_cast<CTSPIPhoneConnection*>(m_pConn);
}

BOOL CTSPIRequest::ClaimReport() {
  if (m_dwRequestID == 0) return FALSE;
  return m_bReported.exchange(true) ? FALSE : TRUE;
}

void CTSPIRequest::MarkFetched() {
  int nExpected = STATE_NOTPROCESSED;
  m_nState.compare_exchange_strong(nExpected, STATE_FETCHED);
}

void CTSPIRequest::DetachRecord() {
  m_lpRecord = nullptr;
  m_pRecordObject = nullptr;
  m_bHoldsSharedRecord = false;
}

void CTSPIRequest::HoldSharedRecord() {
  if (m_bHoldsSharedRecord || RuleFor(m_wType) != RecordRule::kShared) return;
  if (auto* pMedia = dynamic_cast<TSPIMEDIACONTROL*>(m_pRecordObject)) {
    pMedia->AddRef();
    m_bHoldsSharedRecord = true;
  }
}

void CTSPIRequest::FreeRecord() {
  LPVOID lpRecord = m_lpRecord;
  CObject* pObject = m_pRecordObject;
  const bool bHeld = m_bHoldsSharedRecord;
  DetachRecord();
  switch (RuleFor(m_wType)) {
    case RecordRule::kNone:
      break;
    case RecordRule::kBuffer:
    case RecordRule::kObject:
      if (pObject != nullptr) {
        delete pObject;
      } else {
        FreeBuffer(lpRecord);
      }
      break;
    case RecordRule::kShared:
      // Only the share the request took; an address or call may still hold the record.
      if (bHeld) static_cast<TSPIMEDIACONTROL*>(pObject)->Release();
      break;
    case RecordRule::kSwapHold:
      // The other call itself may be passed as the record: never delete anything but the
      // record built for it.
      delete dynamic_cast<TSPISWAPHOLD*>(pObject);
      break;
  }
}
