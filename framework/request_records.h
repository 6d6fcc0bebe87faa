// Parameter records of the line's call-control requests: what a request entry builds from TAPI's
// arguments and hands to the line, address or call operation that serves it, and what the switch
// provider reads when it starts the request. Media records are in media_records.h, phone
// records in phone_records.h.
//
// Contract (all records):
// - Members are read and written directly; constructors set pointers NULL, numbers 0, strings
//   and arrays empty.
// - lpCallParams and other copies of TAPI buffers come from AllocBuffer (record_copies.h) and
//   are freed by the record's destructor; buffers that TAPI fills later are never freed.
// - DIALINFO arrays own their entries.
// - Call members are CCallRef: each holds one reference on the call it names, released with
//   the record. Line and address members are plain pointers; a record never frees them.
// - A record has one owner (the building entry, then the request that carries it), except the
//   forwarding entries TSPIFORWARDINFO, which are reference-counted (1 when made).
#pragma once

#include <atomic>

#include "framework/ado_array.h"
#include "framework/call_ref.h"
#include "framework/dial_info.h"
#include "platform/afx.h"
#include "platform/afxcoll.h"
#include "platform/tapi.h"

class CTSPILineConnection;
class CTSPIAddressInfo;

// lineMakeCall (REQUEST_LINEMAKECALL).
class TSPIMAKECALL : public CObject {
 public:
  TSPIMAKECALL() = default;
  ~TSPIMAKECALL() override;

  CADObArray arrAddresses;  // the parsed destination; empty when none was given
  DWORD dwCountryCode = 0;
  LPLINECALLPARAMS lpCallParams = nullptr;  // copy, or NULL when TAPI passed none
};

// lineSetupTransfer (REQUEST_LINESETUPTRANSFER), lineCompleteTransfer
// (REQUEST_LINECOMPLETETRANSFER).
class TSPITRANSFER : public CObject {
 public:
  TSPITRANSFER() = default;
  ~TSPITRANSFER() override;

  CCallRef pCall;     // the call to be transferred
  CCallRef pConsult;  // complete: the consultation call TAPI named; set-up: set by the address
  CCallRef pConf;     // set by the address when a conference transfer creates a conference
  DWORD dwTransferMode = 0;                 // LINETRANSFERMODE_*; 0 for set-up
  LPLINECALLPARAMS lpCallParams = nullptr;  // set-up's copy; NULL otherwise
};

// lineAddToConference, lineRemoveFromConference, lineSetupConference,
// linePrepareAddToConference.
class TSPICONFERENCE : public CObject {
 public:
  TSPICONFERENCE() = default;
  ~TSPICONFERENCE() override;

  CCallRef pConfCall;      // the conference; set-up: set by the address when it creates it
  CCallRef pCall;          // set-up: the call it is built from; remove: the call to remove
  CCallRef pConsult;       // add: the call to add; set-up and prepare: set when it is created
  DWORD dwPartyCount = 0;  // set-up's dwNumParties
  LPLINECALLPARAMS lpCallParams = nullptr;  // set-up and prepare; NULL otherwise
};

// lineSwapHold (REQUEST_LINESWAPHOLD): the held call that becomes active.
class TSPISWAPHOLD : public CObject {
 public:
  TSPISWAPHOLD() = default;
  explicit TSPISWAPHOLD(CTSPICallAppearance* pOther) : pOtherCall(pOther) {}

  CCallRef pOtherCall;
};

// One forwarding instruction, shared by the lineForward record and the address that applies it.
class TSPIFORWARDINFO : public CObject {
 public:
  TSPIFORWARDINFO() = default;

  // One more holder.
  void AddRef();
  // One holder less; the entry deletes itself when no holder is left.
  void Release();
  LONG GetRefCount() const { return m_lRefCount.load(); }

  DWORD dwForwardMode = 0;  // one LINEFORWARDMODE_* value
  DWORD dwDestCountry = 0;
  DWORD dwTotalSize = 0;  // bytes the entry takes in a reported LINEFORWARDLIST
  CADObArray arrCallerAddress;
  CADObArray arrDestAddress;

 protected:
  ~TSPIFORWARDINFO() override = default;  // only through Release

 private:
  std::atomic<LONG> m_lRefCount{1};
};

// lineForward (REQUEST_LINEFORWARD). Holds one reference on each of its entries.
class TSPILINEFORWARD : public CObject {
 public:
  TSPILINEFORWARD() = default;
  ~TSPILINEFORWARD() override;

  DWORD dwNumRingsNoAnswer = 0;
  CCallRef pConsultCall;                    // set by the address when it makes one
  LPLINECALLPARAMS lpCallParams = nullptr;  // copy, or NULL
  CObArray arrForwardInfo;                  // TSPIFORWARDINFO*; empty cancels forwarding
};

// linePark (REQUEST_LINEPARK).
class TSPILINEPARK : public CObject {
 public:
  TSPILINEPARK() = default;

  DWORD dwParkMode = 0;                   // LINEPARKMODE_DIRECTED or LINEPARKMODE_NONDIRECTED
  CADObArray arrAddresses;                // directed park's address
  LPVARSTRING lpNonDirAddress = nullptr;  // TAPI's, filled later; never freed here
};

// linePickup (REQUEST_LINEPICKUP).
class TSPILINEPICKUP : public CObject {
 public:
  TSPILINEPICKUP() = default;

  CADObArray arrAddresses;  // empty when no destination was given
  CString strGroupID;
};

// lineSetCallParams (REQUEST_LINESETCALLPARAMS).
class TSPICALLPARAMS : public CObject {
 public:
  TSPICALLPARAMS() = default;

  DWORD dwBearerMode = 0;
  DWORD dwMinRate = 0;
  DWORD dwMaxRate = 0;
  LINEDIALPARAMS DialParams{};  // copy; all zero when TAPI passed none
};

// lineSetTerminal (REQUEST_LINESETTERMINAL).
class TSPILINESETTERMINAL : public CObject {
 public:
  TSPILINESETTERMINAL() = default;

  CTSPILineConnection* pLine = nullptr;
  CTSPIAddressInfo* pAddress = nullptr;
  CCallRef pCall;
  DWORD dwTerminalModes = 0;
  DWORD dwTerminalID = 0;
  DWORD bEnable = 0;
};

// lineSetCallData (REQUEST_LINESETCALLDATA).
class TSPICALLDATA : public CObject {
 public:
  TSPICALLDATA() = default;
  ~TSPICALLDATA() override;

  LPVOID lpvCallData = nullptr;  // copy, NULL when the size is 0
  DWORD dwSize = 0;
};

// lineSetCallQualityOfService (REQUEST_LINESETCALLQUALITYOFSERVICE).
class TSPIQOS : public CObject {
 public:
  TSPIQOS() = default;
  ~TSPIQOS() override;

  LPVOID lpvSendingFlowSpec = nullptr;  // copy or NULL
  DWORD dwSendingFlowSpecSize = 0;
  LPVOID lpvReceivingFlowSpec = nullptr;  // copy or NULL
  DWORD dwReceivingFlowSpecSize = 0;
};

// lineCompleteCall (REQUEST_LINECOMPLETECALL); the line keeps a copy while the completion lasts.
// Every record made new gets a completion ID that no other record of the process has (never 0);
// a copy keeps the ID of its original, so that TAPI's ID finds the line's copy.
class TSPICOMPLETECALL : public CObject {
 public:
  TSPICOMPLETECALL();
  TSPICOMPLETECALL(const TSPICOMPLETECALL& other);

  DWORD dwCompletionID;  // handed to TAPI as the completion ID
  DWORD dwCompletionMode = 0;
  DWORD dwMessageID = 0;
  CCallRef pCall;          // the line's copy keeps it only for LINECALLCOMPLMODE_CAMPON
  DWORD dwSwitchInfo = 0;  // for a derived provider; the framework never sets it
  CString strSwitchInfo;   // likewise
};
