// CTSPIDevice: one instance of the provider as TAPI knows it (one permanent provider ID) with the
// lines and phones TAPI assigned to it at providerInit.
//
// Contract:
// - Created by the provider through its device runtime class and initialised once with Init,
//   which creates the lines and phones through the provider's runtime classes; every index below
//   a count holds a connection. The device owns its connections and deletes them when it is
//   destroyed; connections returned by the look-ups stay valid until then.
// - The connection hooks (open, close, send, accept, cancel) pass through the device to the
//   provider; a derived device may take them over.
// - ReportRequestResult hands a result to TAPI's completion callback; the connection decides
//   that each request is reported at most once.
// - The arrays are read and changed under the device's own lock. The look-ups by device ID and
//   by address take constant time: an index kept beside the arrays, under the same lock, which
//   SetDeviceID of a connection keeps up to date.
#pragma once

#include <unordered_map>

#include "framework/base_object.h"
#include "framework/device_id_index.h"
#include "platform/afx.h"
#include "platform/afxcoll.h"
#include "platform/afxmt.h"
#include "platform/afxwin.h"
#include "platform/tapi.h"

class CTSPIConnection;
class CTSPILineConnection;
class CTSPIPhoneConnection;
class CTSPIRequest;

// Bit 15 of a RouteData connection ID selects the phones; the low 15 bits are the index + 1.
inline constexpr WORD ROUTE_PHONE_FLAG = 0x8000;

class CTSPIDevice : public CTSPIBaseObject {
  DECLARE_DYNCREATE(CTSPIDevice)
 public:
  CTSPIDevice();
  ~CTSPIDevice() override;

  // Virtual operations, in slot order.
  // wConnID 0: every line, then every phone, until one takes a non-NULL buffer; otherwise the one
  // line (bit 15 clear) or phone (bit 15 set) whose index is the low 15 bits minus 1.
  virtual BOOL RouteData(WORD wConnID, DWORD dwData, LPCVOID lpBuffer, DWORD dwSize);
  virtual BOOL OpenConnection(CTSPIConnection* pConn);
  virtual BOOL CloseConnection(CTSPIConnection* pConn);
  virtual BOOL SendConnectionData(CTSPIConnection* pConn, LPCVOID lpBuffer, DWORD dwSize);
  // Dialog data the UI side sent to this provider instance; 0 in the library.
  virtual LONG GenericDialogData(LPVOID lpParams, DWORD dwSize);
  // Stores the IDs and the callback and creates the lines (device IDs dwLineDeviceIDBase + i)
  // and phones. FALSE when a connection cannot be created; the device then holds the
  // connections made so far and the caller deletes it.
  virtual BOOL Init(DWORD dwProviderID, DWORD dwLineDeviceIDBase, DWORD dwPhoneDeviceIDBase,
                    DWORD dwNumLines, DWORD dwNumPhones, HPROVIDER hProvider,
                    ASYNC_COMPLETION lpfnCompletionProc);
  // Calls the completion callback with the request's ID, unless the ID is 0 or there is none.
  virtual void ReportRequestResult(LONG lResult, CTSPIRequest* pRequest);
  // The interval service: every interval, OnIntervalTimer of each line and phone not removed,
  // until the stop event is set. A derived device runs it on a thread of its own.
  virtual void RunIntervalTimer();
  virtual BOOL AcceptNewRequest(CTSPIConnection* pConn, CTSPIRequest* pRequest, int& nPosition);
  virtual void OnRequestCancelled(CTSPIRequest* pRequest);

  // Look-ups; NULL for anything not found. By device ID, the first connection in index order
  // with that ID.
  CTSPILineConnection* GetLineByIndex(INT_PTR nIndex);
  CTSPILineConnection* FindLineByDeviceID(DWORD dwDeviceID);
  CTSPIPhoneConnection* GetPhoneByIndex(INT_PTR nIndex);
  CTSPIPhoneConnection* FindPhoneByDeviceID(DWORD dwDeviceID);
  // This device's line at that address; the pointer is compared, never read.
  CTSPILineConnection* FindLineByAddress(const void* pLine);
  // Called by CTSPIConnection::SetDeviceID, with this device's lock held, after the
  // connection's ID changed from dwOldID; a connection that is not this device's is ignored.
  void OnDeviceIDChanged(CTSPIConnection* pConn, DWORD dwOldID);
  INT_PTR GetLineCount();
  INT_PTR GetPhoneCount();

  DWORD GetProviderID() const;
  HPROVIDER GetProviderHandle() const;
  ASYNC_COMPLETION GetCompletionProc() const;

 protected:
  // Starts RunIntervalTimer on a thread of its own every dwMsecs; FALSE when it runs already or
  // cannot start. StopIntervalTimer sets the stop event and waits for the thread's end; the
  // destructor calls it, and a derived device that overrides RunIntervalTimer calls it from its
  // own destructor.
  BOOL StartIntervalTimer(DWORD dwMsecs);
  void StopIntervalTimer();
  DWORD GetIntervalTimer() const;

 private:
  static UINT IntervalThreadProc(LPVOID pParam);
  CTSPIConnection* GetConnectionByIndex(const CObArray& arr, INT_PTR nIndex);
  // Creates dwCount lines or phones, one after the other in device-ID order.
  template <class TConnection>
  BOOL CreateConnections(CRuntimeClass* pClass, DWORD dwDeviceIDBase, DWORD dwCount);
  CObArray& ArrayOf(BOOL bPhone) { return bPhone ? m_arrPhones : m_arrLines; }
  CDeviceIDIndex& IndexOf(BOOL bPhone) { return bPhone ? m_idxPhones : m_idxLines; }
  void ServiceIntervalTimers();

  DWORD m_dwProviderID = 0;
  HPROVIDER m_hProvider = nullptr;
  CObArray m_arrLines;   // CTSPILineConnection*, owned
  CObArray m_arrPhones;  // CTSPIPhoneConnection*, owned
  CDeviceIDIndex m_idxLines;
  CDeviceIDIndex m_idxPhones;
  std::unordered_map<const void*, INT_PTR> m_mapLineAddresses;  // line -> index
  ASYNC_COMPLETION m_lpfnCompletionProc = nullptr;
  CEvent m_evtStop;
  CWinThread* m_pIntervalThread = nullptr;
  DWORD m_dwIntervalTimer = 0;
};
