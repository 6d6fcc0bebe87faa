// Bodies of the requests this client sends: dwMsgType, dwInvokeID, then the fields in wire order.
// The link prefixes a body with its dwMsgSeq when it queues it.
//
// Contract: each encoder writes into the writer (normally over a kOmbixMaxBody buffer) and returns
// TRUE when the whole body fit; FALSE means the body is incomplete and must not be sent (nothing
// is ever written past the buffer). Strings may be null and then travel as length 0.
#pragma once

#include "platform/wintypes.h"
#include "switchapi/ombix_wire.h"

// OMBIX_LOGIN_REQ: dwInvokeID 0, strAPIVersion "3.0", the client's name and version.
BOOL EncodeLoginReq(COmbixWriter& w, LPCSTR strClient, LPCSTR strClientVersion);

BOOL EncodeAlternateCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                            const ObjectId& oidActiveCall, const ObjectId& oidOtherCall);
BOOL EncodeAnswerCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                         const ObjectId& oidCall, LPCSTR strPhone);
BOOL EncodeCompleteTransferReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                               const ObjectId& oidActiveCall, const ObjectId& oidHeldCall);
BOOL EncodeDialDigitsReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                         const ObjectId& oidCall, LPCSTR strDigits);
BOOL EncodeDropConnectionReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                             const ObjectId& oidCall, DWORD dwReason);
BOOL EncodeHoldCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                       LPCSTR strPhone);
// dwOptions: CALL_OPTION_* flags.
BOOL EncodeMakeCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice, LPCSTR strNumber,
                       DWORD dwOptions, LPCSTR strPhone);
BOOL EncodeMonitorStartReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDID, LPCSTR strPassword,
                           LPCSTR strNewPassword);
BOOL EncodeMonitorStopReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice);
BOOL EncodeParkCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                       DWORD dwAutoComplete);
BOOL EncodePickupCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice, LPCSTR strFromDevice,
                         LPCSTR strPhone);
BOOL EncodeQueryPhoneStateReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strAgent, LPCSTR strPhone);
// dwRedirectTo: REDIRECT_TO_*; dwOptions: CALL_OPTION_* flags.
BOOL EncodeRedirectCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                           const ObjectId& oidCall, DWORD dwRedirectTo, LPCSTR strDigits,
                           DWORD dwOptions);
BOOL EncodeRetrieveCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                           const ObjectId& oidCall, LPCSTR strPhone);
// dwForwardMode: CALL_FORWARD_*.
BOOL EncodeSetCallForwardingReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                                DWORD dwForwardMode, LPCSTR strForwardTo);
BOOL EncodeSetDoNotDisturbReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice, DWORD dwOn,
                              LPCSTR strPhone);
BOOL EncodeSetupTransferReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                            const ObjectId& oidCall, LPCSTR strNumber, DWORD dwOptions);
BOOL EncodeSetupConferenceReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                              const ObjectId& oidCall, LPCSTR strNumber, DWORD dwOptions);
BOOL EncodeSingleStepTransferReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                                 const ObjectId& oidCall, LPCSTR strNumber, DWORD dwOptions);
BOOL EncodeGetCallForwardingReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice);
BOOL EncodeConferenceCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                             const ObjectId& oidActiveCall, const ObjectId& oidOtherCall);
BOOL EncodeDropConferenceConnectionReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                                       const ObjectId& oidCall, LPCSTR strDropDevice);
BOOL EncodeQueryPhoneConfigReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strAgent, LPCSTR strPhone);
