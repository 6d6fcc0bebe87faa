// Temporary seam between the line and the address and call classes, which do not exist yet. The
// line forwards TAPI's address-state mask and terminal changes to its addresses, recomputes their
// features, sums their available media modes, drops their calls when it closes, and names a
// call by its TAPI handle in every event; until CTSPIAddressInfo and CTSPICallAppearance are
// written the line reaches them only through these hooks (line_connection_addresses.cpp).
//
// When those classes arrive, the line calls them directly and this header is removed. Tests
// install doubles here. Every hook left NULL does nothing (answers 0).
#pragma once

#include "platform/tapi.h"

class CTSPIAddressInfo;
class CTSPICallAppearance;

struct TSPILineSeams {
  // The call's TAPI handle (0 once TAPI let go of the call).
  HTAPICALL (*pfnGetCallHandle)(CTSPICallAppearance* pCall) = nullptr;
  // The address's available media modes when it is outgoing and has fewer active calls than its
  // maximum, else 0.
  DWORD (*pfnGetAvailableMediaModes)(CTSPIAddressInfo* pAddr) = nullptr;
  // CTSPIAddressInfo::SetStatusMessages (TAPI's address-state mask).
  void (*pfnSetAddressStatusMessages)(CTSPIAddressInfo* pAddr, DWORD dwAddressStates) = nullptr;
  // CTSPIAddressInfo::UpdateAddressFeatures.
  void (*pfnUpdateAddressFeatures)(CTSPIAddressInfo* pAddr) = nullptr;
  // CTSPIAddressInfo::SetTerminalModes (terminal index, modes, bOn).
  void (*pfnSetAddressTerminalModes)(CTSPIAddressInfo* pAddr, int nTerminal, DWORD dwModes,
                                     BOOL bOn) = nullptr;
  // CTSPICallAppearance::Drop (request ID 0, no user-user information) of every call on the
  // address.
  void (*pfnDropAddressCalls)(CTSPIAddressInfo* pAddr) = nullptr;
};

// The process-wide hooks; set them before any line exists.
TSPILineSeams& GetTSPILineSeams();
