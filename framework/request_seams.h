// Temporary seam between the request queue and the address and call classes, which do not exist
// yet. A request holds one reference on its call and runs the address's and the call's
// follow-ups when it completes; until CTSPIAddressInfo and CTSPICallAppearance are written, the
// queue reaches them only through these hooks. Every hook left NULL does nothing.
//
// When the call class arrives (interlocked AddRef/Release, the last release deletes the call;
// OnRequestComplete; ChangeCallState), request.cpp and connection_match.cpp call it directly and
// this header is removed. Tests install doubles here.
#pragma once

#include "platform/wintypes.h"

class CTSPIAddressInfo;
class CTSPICallAppearance;
class CTSPIRequest;

struct TSPIRequestSeams {
  // Reference taken by CTSPIRequest::Init and dropped by the request's destructor.
  void (*pfnCallAddRef)(CTSPICallAppearance* pCall) = nullptr;
  void (*pfnCallRelease)(CTSPICallAppearance* pCall) = nullptr;
  // Follow-ups of CTSPIRequest::Complete, after the connection's own.
  void (*pfnAddressOnRequestComplete)(CTSPIAddressInfo* pAddr, CTSPIRequest* pReq,
                                      LONG lResult) = nullptr;
  void (*pfnCallOnRequestComplete)(CTSPICallAppearance* pCall, CTSPIRequest* pReq,
                                   LONG lResult) = nullptr;
  // ChangeCallState (LINECALLSTATE_IDLE, mode 0, media mode 0, with notification): for the calls
  // of a transfer or conference request that fails because one of its calls goes away.
  void (*pfnCallSetIdle)(CTSPICallAppearance* pCall) = nullptr;
};

// The process-wide hooks; set them before any request exists.
TSPIRequestSeams& GetTSPIRequestSeams();
