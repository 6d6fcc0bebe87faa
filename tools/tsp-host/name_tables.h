// The TAPI value sets that tsp-host prints by name.
#pragma once

#include <vector>

#include "platform/wintypes.h"

namespace tsphost {

struct NamedValue {
  DWORD dwValue;
  const char* pszName;
};

const std::vector<NamedValue>& ErrorNames();          // LINEERR_ and PHONEERR_
const std::vector<NamedValue>& LineMessageNames();    // LINE_ messages
const std::vector<NamedValue>& PhoneMessageNames();   // PHONE_ messages
const std::vector<NamedValue>& CallStateNames();      // LINECALLSTATE_ bits
const std::vector<NamedValue>& LineDevStateNames();   // LINEDEVSTATE_ bits
const std::vector<NamedValue>& AddressStateNames();   // LINEADDRESSSTATE_ bits
const std::vector<NamedValue>& CallInfoStateNames();  // LINECALLINFOSTATE_ bits
const std::vector<NamedValue>& ObjectTypeNames();     // TUISPIDLL_OBJECT_ values

// The capability and status sets (name_tables_caps.cpp).
const std::vector<NamedValue>& AddressModeNames();    // LINEADDRESSMODE_ bits
const std::vector<NamedValue>& BearerModeNames();     // LINEBEARERMODE_ bits
const std::vector<NamedValue>& MediaModeNames();      // LINEMEDIAMODE_ bits
const std::vector<NamedValue>& LineFeatureNames();    // LINEFEATURE_ bits
const std::vector<NamedValue>& DevCapFlagNames();     // LINEDEVCAPFLAGS_ bits
const std::vector<NamedValue>& DevStatusFlagNames();  // LINEDEVSTATUSFLAGS_ bits
const std::vector<NamedValue>& RoamModeNames();       // LINEROAMMODE_ bits
const std::vector<NamedValue>& StringFormatNames();   // STRINGFORMAT_ values

// A call's state mode, origin and reason (name_tables_call.cpp). The mode's set depends on the
// state: NULL for a state that carries no mode.
const std::vector<NamedValue>* CallStateModeNames(DWORD dwCallState);
const std::vector<NamedValue>& CallOriginNames();  // LINECALLORIGIN_ bits
const std::vector<NamedValue>& CallReasonNames();  // LINECALLREASON_ bits

}  // namespace tsphost
