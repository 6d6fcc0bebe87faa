// The request methods: each encodes its body and queues it. The link state is looked at first
// so that nothing is encoded for a link that is down; QueueRequest decides under the lock.
#include "switchapi/ombix_api.h"
#include "switchapi/ombix_request_bodies.h"

namespace {

// A request body under construction, the size of the protocol's body buffer.
struct REQUESTBODY {
  BYTE ab[kOmbixMaxBody];
  COmbixWriter writer{ab, sizeof ab};
};

}  // namespace

void COmbixAPI::AlternateCall(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidActiveCall,
                              const ObjectId& oidOtherCall) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeAlternateCallReq(body.writer, dwInvokeID, strDevice, oidActiveCall, oidOtherCall);
  QueueRequest(body.writer);
}

void COmbixAPI::AnswerCall(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                           LPCSTR strPhone) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeAnswerCallReq(body.writer, dwInvokeID, strDevice, oidCall, strPhone);
  QueueRequest(body.writer);
}

void COmbixAPI::CompleteTransfer(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidActiveCall,
                                 const ObjectId& oidHeldCall) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeCompleteTransferReq(body.writer, dwInvokeID, strDevice, oidActiveCall, oidHeldCall);
  QueueRequest(body.writer);
}

void COmbixAPI::DialDigits(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                           LPCSTR strDigits) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeDialDigitsReq(body.writer, dwInvokeID, strDevice, oidCall, strDigits);
  QueueRequest(body.writer);
}

void COmbixAPI::DropConnection(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                               DWORD dwReason) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeDropConnectionReq(body.writer, dwInvokeID, strDevice, oidCall, dwReason);
  QueueRequest(body.writer);
}

void COmbixAPI::HoldCall(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                         LPCSTR strPhone) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeHoldCallReq(body.writer, dwInvokeID, strDevice, oidCall, strPhone);
  QueueRequest(body.writer);
}

void COmbixAPI::MakeCall(DWORD dwInvokeID, LPCSTR strDevice, LPCSTR strNumber, DWORD dwOptions,
                         LPCSTR strPhone) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeMakeCallReq(body.writer, dwInvokeID, strDevice, strNumber, dwOptions, strPhone);
  QueueRequest(body.writer);
}

void COmbixAPI::MonitorStart(DWORD dwInvokeID, LPCSTR strDID, LPCSTR strPassword,
                             LPCSTR strNewPassword) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeMonitorStartReq(body.writer, dwInvokeID, strDID, strPassword, strNewPassword);
  QueueRequest(body.writer);
}

void COmbixAPI::MonitorStop(DWORD dwInvokeID, LPCSTR strDevice) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeMonitorStopReq(body.writer, dwInvokeID, strDevice);
  QueueRequest(body.writer);
}

void COmbixAPI::ParkCall(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                         DWORD dwAutoComplete) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeParkCallReq(body.writer, dwInvokeID, strDevice, oidCall, dwAutoComplete);
  QueueRequest(body.writer);
}

void COmbixAPI::PickupCall(DWORD dwInvokeID, LPCSTR strDevice, LPCSTR strFromDevice,
                           LPCSTR strPhone) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodePickupCallReq(body.writer, dwInvokeID, strDevice, strFromDevice, strPhone);
  QueueRequest(body.writer);
}

void COmbixAPI::QueryPhoneState(DWORD dwInvokeID, LPCSTR strAgent, LPCSTR strPhone) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeQueryPhoneStateReq(body.writer, dwInvokeID, strAgent, strPhone);
  QueueRequest(body.writer);
}

void COmbixAPI::RedirectCall(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                             DWORD dwRedirectTo, LPCSTR strDigits, DWORD dwOptions) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeRedirectCallReq(body.writer, dwInvokeID, strDevice, oidCall, dwRedirectTo, strDigits,
                        dwOptions);
  QueueRequest(body.writer);
}

void COmbixAPI::RetrieveCall(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                             LPCSTR strPhone) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeRetrieveCallReq(body.writer, dwInvokeID, strDevice, oidCall, strPhone);
  QueueRequest(body.writer);
}

void COmbixAPI::SetCallForwarding(DWORD dwInvokeID, LPCSTR strDevice, DWORD dwForwardMode,
                                  LPCSTR strForwardTo) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeSetCallForwardingReq(body.writer, dwInvokeID, strDevice, dwForwardMode, strForwardTo);
  QueueRequest(body.writer);
}

void COmbixAPI::SetDoNotDisturb(DWORD dwInvokeID, LPCSTR strDevice, DWORD dwOn, LPCSTR strPhone) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeSetDoNotDisturbReq(body.writer, dwInvokeID, strDevice, dwOn, strPhone);
  QueueRequest(body.writer);
}

void COmbixAPI::SetupTransfer(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                              LPCSTR strNumber, DWORD dwOptions) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeSetupTransferReq(body.writer, dwInvokeID, strDevice, oidCall, strNumber, dwOptions);
  QueueRequest(body.writer);
}

void COmbixAPI::SetupConference(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                                LPCSTR strNumber, DWORD dwOptions) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeSetupConferenceReq(body.writer, dwInvokeID, strDevice, oidCall, strNumber, dwOptions);
  QueueRequest(body.writer);
}

void COmbixAPI::SingleStepTransfer(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                                   LPCSTR strNumber, DWORD dwOptions) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeSingleStepTransferReq(body.writer, dwInvokeID, strDevice, oidCall, strNumber, dwOptions);
  QueueRequest(body.writer);
}

void COmbixAPI::GetCallForwarding(DWORD dwInvokeID, LPCSTR strDevice) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeGetCallForwardingReq(body.writer, dwInvokeID, strDevice);
  QueueRequest(body.writer);
}

void COmbixAPI::ConferenceCall(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidActiveCall,
                               const ObjectId& oidOtherCall) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeConferenceCallReq(body.writer, dwInvokeID, strDevice, oidActiveCall, oidOtherCall);
  QueueRequest(body.writer);
}

void COmbixAPI::DropConferenceConnection(DWORD dwInvokeID, LPCSTR strDevice,
                                         const ObjectId& oidCall, LPCSTR strDropDevice) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeDropConferenceConnectionReq(body.writer, dwInvokeID, strDevice, oidCall, strDropDevice);
  QueueRequest(body.writer);
}

void COmbixAPI::QueryPhoneConfig(DWORD dwInvokeID, LPCSTR strAgent, LPCSTR strPhone) {
  if (!IsConnected()) return;
  REQUESTBODY body;
  EncodeQueryPhoneConfigReq(body.writer, dwInvokeID, strAgent, strPhone);
  QueueRequest(body.writer);
}
