#include "switchapi/ombix_request_bodies.h"

#include <initializer_list>

#include "switchapi/ombix_message_types.h"

namespace {

void Head(COmbixWriter& w, DWORD dwMsgType, DWORD dwInvokeID) {
  w.WriteDword(dwMsgType);
  w.WriteDword(dwInvokeID);
}

BOOL Done(const COmbixWriter& w) {
  return !w.IsOverflow();
}

// strDevice, then two calls (alternate, complete transfer, conference).
BOOL TwoCalls(COmbixWriter& w, DWORD dwType, DWORD dwInvokeID, LPCSTR strDevice,
              const ObjectId& oidFirst, const ObjectId& oidSecond) {
  Head(w, dwType, dwInvokeID);
  w.WriteString(strDevice);
  w.WriteObjectId(oidFirst);
  w.WriteObjectId(oidSecond);
  return Done(w);
}

// strDevice, a call and a string (answer, dial, hold, retrieve, drop from conference).
BOOL CallAndString(COmbixWriter& w, DWORD dwType, DWORD dwInvokeID, LPCSTR strDevice,
                   const ObjectId& oidCall, LPCSTR str) {
  Head(w, dwType, dwInvokeID);
  w.WriteString(strDevice);
  w.WriteObjectId(oidCall);
  w.WriteString(str);
  return Done(w);
}

// strDevice, a call and a u32 (drop, park).
BOOL CallAndDword(COmbixWriter& w, DWORD dwType, DWORD dwInvokeID, LPCSTR strDevice,
                  const ObjectId& oidCall, DWORD dw) {
  Head(w, dwType, dwInvokeID);
  w.WriteString(strDevice);
  w.WriteObjectId(oidCall);
  w.WriteDword(dw);
  return Done(w);
}

// strDevice, a call, a number and call options (set-up transfer and conference, blind transfer).
BOOL CallNumberOptions(COmbixWriter& w, DWORD dwType, DWORD dwInvokeID, LPCSTR strDevice,
                       const ObjectId& oidCall, LPCSTR strNumber, DWORD dwOptions) {
  Head(w, dwType, dwInvokeID);
  w.WriteString(strDevice);
  w.WriteObjectId(oidCall);
  w.WriteString(strNumber);
  w.WriteDword(dwOptions);
  return Done(w);
}

BOOL Strings(COmbixWriter& w, DWORD dwType, DWORD dwInvokeID, std::initializer_list<LPCSTR> strs) {
  Head(w, dwType, dwInvokeID);
  for (LPCSTR str : strs) w.WriteString(str);
  return Done(w);
}

}  // namespace

BOOL EncodeLoginReq(COmbixWriter& w, LPCSTR strClient, LPCSTR strClientVersion) {
  return Strings(w, OMBIX_LOGIN_REQ, 0, {kOmbixApiVersion, strClient, strClientVersion});
}

BOOL EncodeAlternateCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                            const ObjectId& oidActiveCall, const ObjectId& oidOtherCall) {
  return TwoCalls(w, OMBIX_ALTERNATE_CALL_REQ, dwInvokeID, strDevice, oidActiveCall, oidOtherCall);
}

BOOL EncodeAnswerCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                         const ObjectId& oidCall, LPCSTR strPhone) {
  return CallAndString(w, OMBIX_ANSWER_CALL_REQ, dwInvokeID, strDevice, oidCall, strPhone);
}

BOOL EncodeCompleteTransferReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                               const ObjectId& oidActiveCall, const ObjectId& oidHeldCall) {
  return TwoCalls(w, OMBIX_COMPLETE_TRANSFER_REQ, dwInvokeID, strDevice, oidActiveCall,
                  oidHeldCall);
}

BOOL EncodeDialDigitsReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                         const ObjectId& oidCall, LPCSTR strDigits) {
  return CallAndString(w, OMBIX_DIAL_DIGITS_REQ, dwInvokeID, strDevice, oidCall, strDigits);
}

BOOL EncodeDropConnectionReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                             const ObjectId& oidCall, DWORD dwReason) {
  return CallAndDword(w, OMBIX_DROP_CONNECTION_REQ, dwInvokeID, strDevice, oidCall, dwReason);
}

BOOL EncodeHoldCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                       LPCSTR strPhone) {
  return CallAndString(w, OMBIX_HOLD_CALL_REQ, dwInvokeID, strDevice, oidCall, strPhone);
}

BOOL EncodeMakeCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice, LPCSTR strNumber,
                       DWORD dwOptions, LPCSTR strPhone) {
  Head(w, OMBIX_MAKE_CALL_REQ, dwInvokeID);
  w.WriteString(strDevice);
  w.WriteString(strNumber);
  w.WriteDword(dwOptions);
  w.WriteString(strPhone);
  return Done(w);
}

BOOL EncodeMonitorStartReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDID, LPCSTR strPassword,
                           LPCSTR strNewPassword) {
  return Strings(w, OMBIX_MONITOR_START_REQ, dwInvokeID, {strDID, strPassword, strNewPassword});
}

BOOL EncodeMonitorStopReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice) {
  return Strings(w, OMBIX_MONITOR_STOP_REQ, dwInvokeID, {strDevice});
}

BOOL EncodeParkCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                       DWORD dwAutoComplete) {
  return CallAndDword(w, OMBIX_PARK_CALL_REQ, dwInvokeID, strDevice, oidCall, dwAutoComplete);
}

BOOL EncodePickupCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice, LPCSTR strFromDevice,
                         LPCSTR strPhone) {
  return Strings(w, OMBIX_PICKUP_CALL_REQ, dwInvokeID, {strDevice, strFromDevice, strPhone});
}

BOOL EncodeQueryPhoneStateReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strAgent, LPCSTR strPhone) {
  return Strings(w, OMBIX_QUERY_PHONE_STATE_REQ, dwInvokeID, {strAgent, strPhone});
}

BOOL EncodeRedirectCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                           const ObjectId& oidCall, DWORD dwRedirectTo, LPCSTR strDigits,
                           DWORD dwOptions) {
  Head(w, OMBIX_REDIRECT_CALL_REQ, dwInvokeID);
  w.WriteString(strDevice);
  w.WriteObjectId(oidCall);
  w.WriteDword(dwRedirectTo);
  w.WriteString(strDigits);
  w.WriteDword(dwOptions);
  return Done(w);
}

BOOL EncodeRetrieveCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                           const ObjectId& oidCall, LPCSTR strPhone) {
  return CallAndString(w, OMBIX_RETRIEVE_CALL_REQ, dwInvokeID, strDevice, oidCall, strPhone);
}

BOOL EncodeSetCallForwardingReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                                DWORD dwForwardMode, LPCSTR strForwardTo) {
  Head(w, OMBIX_SET_CALL_FORWARDING_REQ, dwInvokeID);
  w.WriteString(strDevice);
  w.WriteDword(dwForwardMode);
  w.WriteString(strForwardTo);
  return Done(w);
}

BOOL EncodeSetDoNotDisturbReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice, DWORD dwOn,
                              LPCSTR strPhone) {
  Head(w, OMBIX_SET_DO_NOT_DISTURB_REQ, dwInvokeID);
  w.WriteString(strDevice);
  w.WriteDword(dwOn);
  w.WriteString(strPhone);
  return Done(w);
}

BOOL EncodeSetupTransferReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                            const ObjectId& oidCall, LPCSTR strNumber, DWORD dwOptions) {
  return CallNumberOptions(w, OMBIX_SETUP_TRANSFER_REQ, dwInvokeID, strDevice, oidCall, strNumber,
                           dwOptions);
}

BOOL EncodeSetupConferenceReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                              const ObjectId& oidCall, LPCSTR strNumber, DWORD dwOptions) {
  return CallNumberOptions(w, OMBIX_SETUP_CONFERENCE_REQ, dwInvokeID, strDevice, oidCall, strNumber,
                           dwOptions);
}

BOOL EncodeSingleStepTransferReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                                 const ObjectId& oidCall, LPCSTR strNumber, DWORD dwOptions) {
  return CallNumberOptions(w, OMBIX_SINGLE_STEP_TRANSFER_REQ, dwInvokeID, strDevice, oidCall,
                           strNumber, dwOptions);
}

BOOL EncodeGetCallForwardingReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice) {
  return Strings(w, OMBIX_GET_CALL_FORWARDING_REQ, dwInvokeID, {strDevice});
}

BOOL EncodeConferenceCallReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                             const ObjectId& oidActiveCall, const ObjectId& oidOtherCall) {
  return TwoCalls(w, OMBIX_CONFERENCE_CALL_REQ, dwInvokeID, strDevice, oidActiveCall, oidOtherCall);
}

BOOL EncodeDropConferenceConnectionReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strDevice,
                                       const ObjectId& oidCall, LPCSTR strDropDevice) {
  return CallAndString(w, OMBIX_DROP_CONFERENCE_CONNECTION_REQ, dwInvokeID, strDevice, oidCall,
                       strDropDevice);
}

BOOL EncodeQueryPhoneConfigReq(COmbixWriter& w, DWORD dwInvokeID, LPCSTR strAgent,
                               LPCSTR strPhone) {
  return Strings(w, OMBIX_QUERY_PHONE_CONFIG_REQ, dwInvokeID, {strAgent, strPhone});
}
