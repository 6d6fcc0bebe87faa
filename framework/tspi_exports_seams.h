// Temporary seam between the exported entry points and the address and call classes, which do
// not exist yet. The exports resolve an address ID on a line, a call's address and an address's
// line, and check call handles against the calls that are alive; until CTSPIAddressInfo and
// CTSPICallAppearance are written they reach them only through these hooks.
//
// When those classes arrive (CTSPILineConnection::GetAddress, CTSPICallAppearance's address,
// CTSPIAddressInfo's line; calls adding themselves to the live set when created and removing
// themselves before they go), the frame calls them directly and the hooks go. Tests install
// doubles here.
#pragma once

#include "framework/live_object_set.h"
#include "platform/wintypes.h"

class CTSPIAddressInfo;
class CTSPICallAppearance;
class CTSPILineConnection;

struct TSPIExportSeams {
  // The line's address with that ID. NULL hook: no address.
  CTSPIAddressInfo* (*pfnGetAddress)(CTSPILineConnection* pLine, DWORD dwAddressID) = nullptr;
  // The address the call is on. NULL hook: none.
  CTSPIAddressInfo* (*pfnGetCallAddress)(CTSPICallAppearance* pCall) = nullptr;
  // The line the address is on. NULL hook: none.
  CTSPILineConnection* (*pfnGetAddressLine)(CTSPIAddressInfo* pAddr) = nullptr;
};

// The process-wide hooks; set them before any export runs.
TSPIExportSeams& GetTSPIExportSeams();

// The calls that TAPI may name with an HDRVCALL.
CLiveObjectSet<CTSPICallAppearance>& GetTSPILiveCalls();
