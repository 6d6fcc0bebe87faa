// Temporary seam between the provider object and the call and address classes, which do not
// exist yet. The timer thread serves each call with pending timers, IsFunctionAllowed reads a
// call's bearer mode and the dialable-address parser an address's capability flags; until
// CTSPICallAppearance and CTSPIAddressInfo are written the provider reaches them only through
// these hooks.
//
// When those classes arrive (CTSPICallAppearance::ServiceCallTimers and its LINECALLINFO,
// CTSPIAddressInfo's LINEADDRESSCAPS), the provider calls them directly and this header is
// removed. Tests install doubles here.
#pragma once

#include "platform/wintypes.h"

class CTSPIAddressInfo;
class CTSPICallAppearance;

struct TSPIProviderSeams {
  // One pass over a call's timers: TRUE when nothing is left to time (the call then leaves the
  // timed-call list). Must only try the call's lock (Lock(0)) and answer FALSE when it is busy.
  // NULL: the call leaves the list.
  BOOL (*pfnServiceCallTimers)(CTSPICallAppearance* pCall) = nullptr;
  // The call's LINECALLINFO dwBearerMode. NULL: 0.
  DWORD (*pfnGetCallBearerMode)(CTSPICallAppearance* pCall) = nullptr;
  // The address's LINEADDRESSCAPS dwAddrCapFlags, read by the dialable-address checks. NULL: 0.
  DWORD (*pfnGetAddressCapFlags)(CTSPIAddressInfo* pAddr) = nullptr;
};

// The process-wide hooks; set them before any call exists.
TSPIProviderSeams& GetTSPIProviderSeams();
