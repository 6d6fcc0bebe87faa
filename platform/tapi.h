// TAPI 2.1 as the telephony service and this provider share it: result codes, constants, the
// structures the provider fills or reads, and the callbacks the service hands in. Structures have
// the 2.1 layout (fields that 2.2 and 3.0 add are left out) and the published 64-bit offsets,
// checked at compile time. Include this header, not the tapi_*.h parts; tspi.h adds the exports.
#pragma once

#include "platform/tapi_app_structs.h"
#include "platform/tapi_constants.h"
#include "platform/tapi_errors.h"
#include "platform/tapi_line_structs.h"
#include "platform/tapi_phone_structs.h"
#include "platform/tapi_structs.h"
#include "platform/wintypes.h"

// Out parameters through which the provider hands its driver handles back to TAPI.
using LPHDRVLINE = HDRVLINE*;
using LPHDRVCALL = HDRVCALL*;
using LPHDRVPHONE = HDRVPHONE*;

// Reports the result of an asynchronous request: 0 or a negative LINEERR_/PHONEERR_ code.
using ASYNC_COMPLETION = void (*)(DRV_REQUESTID dwRequestID, LONG lResult);

// Sends a line, address or call event (dwMsg is a LINE_ message). The parameters are
// pointer-sized so that object addresses pass whole. TSPI_providerEnumDevices hands in one of
// these too, as the procedure for LINE_CREATE.
using LINEEVENT = void (*)(HTAPILINE htLine, HTAPICALL htCall, DWORD dwMsg, DWORD_PTR dwParam1,
                           DWORD_PTR dwParam2, DWORD_PTR dwParam3);

// Sends a phone event (dwMsg is a PHONE_ message); TSPI_providerEnumDevices hands one in as the
// procedure for PHONE_CREATE.
using PHONEEVENT = void (*)(HTAPIPHONE htPhone, DWORD dwMsg, DWORD_PTR dwParam1, DWORD_PTR dwParam2,
                            DWORD_PTR dwParam3);

// The UI side's channel to the provider (reaches TSPI_providerGenericDialogData). dwObjectType is
// a TUISPIDLL_OBJECT_ value naming what dwObjectID is.
using TUISPIDLLCALLBACK = LONG (*)(DWORD_PTR dwObjectID, DWORD dwObjectType, LPVOID lpParams,
                                   DWORD dwSize);
