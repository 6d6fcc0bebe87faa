// The layouts of the messages the trace dumps as sent: the requests of the protocol, also those
// this client never builds.
#include "switchapi/ombix_message_types.h"
#include "switchapi/ombix_trace_layout.h"
#include "switchapi/ombix_values.h"

namespace {

using F = OmbixField;

constexpr OMBIXTRACEFIELD kInvokeID{F::Number, "dwInvokeID"};
constexpr OMBIXTRACEFIELD kDevice{F::String, "strDevice"};
constexpr OMBIXTRACEFIELD kCall{F::ObjectId, "oidCall"};
constexpr OMBIXTRACEFIELD kOptions{F::CallOptions, "dwOptions"};
constexpr OMBIXTRACEFIELD kConference{F::Number, "dwConferenceID"};

// clang-format off
constexpr OMBIXTRACEFIELD kTwoCalls[] = {kInvokeID, kDevice, {F::ObjectId, "oidActiveCall"}, {F::ObjectId, "oidOtherCall"}};
constexpr OMBIXTRACEFIELD kCallPhone[] = {kInvokeID, kDevice, kCall, {F::String, "strPhone"}};
constexpr OMBIXTRACEFIELD kActiveHeld[] = {kInvokeID, kDevice, {F::ObjectId, "oidActiveCall"}, {F::ObjectId, "oidHeldCall"}};
constexpr OMBIXTRACEFIELD kDialDigits[] = {kInvokeID, kDevice, kCall, {F::String, "strDigits"}};
constexpr OMBIXTRACEFIELD kDropConnection[] = {kInvokeID, kDevice, kCall, {F::Number, "dwReason"}};
constexpr OMBIXTRACEFIELD kGetCallData[] = {kInvokeID, kDevice, kCall, {F::String, "strKey"}};
constexpr OMBIXTRACEFIELD kLogin[] = {kInvokeID, {F::String, "strAPIVersion"}, {F::String, "strClient"}, {F::String, "strClientVersion"}};
constexpr OMBIXTRACEFIELD kMakeCall[] = {kInvokeID, kDevice, {F::String, "strNumber"}, kOptions, {F::String, "strPhone"}};
constexpr OMBIXTRACEFIELD kMonitorStart[] = {kInvokeID, {F::String, "strDID"}, {F::String, "strPassword"}, {F::String, "strNewPassword"}};
constexpr OMBIXTRACEFIELD kDeviceOnly[] = {kInvokeID, kDevice};
constexpr OMBIXTRACEFIELD kParkCall[] = {kInvokeID, kDevice, kCall, {F::Number, "dwAutoComplete"}};
constexpr OMBIXTRACEFIELD kPickupCall[] = {kInvokeID, kDevice, {F::String, "strFromDevice"}, {F::String, "strPhone"}};
constexpr OMBIXTRACEFIELD kAgentQueue[] = {kInvokeID, {F::String, "strAgent"}, {F::String, "strQueue"}};
constexpr OMBIXTRACEFIELD kAgentPhone[] = {kInvokeID, {F::String, "strAgent"}, {F::String, "strPhone"}};
constexpr OMBIXTRACEFIELD kQueueOnly[] = {kInvokeID, {F::String, "strQueue"}};
constexpr OMBIXTRACEFIELD kRedirectCall[] = {kInvokeID, kDevice, kCall, {F::Named, "dwRedirectTo", RedirectTargetName}, {F::String, "strDigits"}, kOptions};
constexpr OMBIXTRACEFIELD kSetAgentState[] = {kInvokeID, {F::String, "strAgent"}, {F::String, "strQueue"}, {F::Named, "dwAgentState", AgentStateName}};
constexpr OMBIXTRACEFIELD kSetCallData[] = {kInvokeID, kDevice, kCall, {F::String, "strKey"}, {F::String, "strValue"}, {F::Number, "dwReadOnly"}};
constexpr OMBIXTRACEFIELD kSetCallForwarding[] = {kInvokeID, kDevice, {F::Named, "dwForwardMode", ForwardModeName}, {F::String, "strForwardTo"}};
constexpr OMBIXTRACEFIELD kSetDoNotDisturb[] = {kInvokeID, kDevice, {F::Number, "dwOn"}, {F::String, "strPhone"}};
constexpr OMBIXTRACEFIELD kCallNumberOptions[] = {kInvokeID, kDevice, kCall, {F::String, "strNumber"}, kOptions};
constexpr OMBIXTRACEFIELD kSetRemoteMode[] = {kInvokeID, kDevice, {F::String, "strNumber"}, {F::Number, "dwEnabled"}, {F::Number, "dwAutoEnable"}};
constexpr OMBIXTRACEFIELD kSetCallerName[] = {kInvokeID, kDevice, kCall, {F::String, "strName"}};
constexpr OMBIXTRACEFIELD kDropConferenceConnection[] = {kInvokeID, kDevice, kCall, {F::String, "strDropDevice"}};
constexpr OMBIXTRACEFIELD kStartRecording[] = {kInvokeID, kDevice, kCall, {F::Number, "dwOptions"}, {F::Number, "dwBeepTimer"}};
constexpr OMBIXTRACEFIELD kDeviceCall[] = {kInvokeID, kDevice, kCall};
constexpr OMBIXTRACEFIELD kSetRtpMode[] = {kInvokeID, kDevice, {F::Number, "dwEnabled"}};
constexpr OMBIXTRACEFIELD kVoiceMail[] = {kInvokeID, kDevice, {F::Named, "dwCommand", VoiceMailCommandName}, {F::String, "strPassword"}, {F::Named, "dwFolderID", VoiceMailFolderName}, {F::Number, "dwMsgID"}, {F::Number, "dwIndex"}, {F::String, "strPhone"}};
constexpr OMBIXTRACEFIELD kSetPassword[] = {kInvokeID, kDevice, {F::String, "strOldPassword"}, {F::String, "strNewPassword"}};
constexpr OMBIXTRACEFIELD kAutodialCall[] = {kInvokeID, kDevice, {F::String, "strNumber"}, kOptions, {F::String, "strDestRoute"}, {F::Number, "dwTimeout"}};
constexpr OMBIXTRACEFIELD kPlayPrompt[] = {kInvokeID, kDevice, kCall, {F::String, "strFiles"}, {F::PromptOptions, "dwOptions"}};
constexpr OMBIXTRACEFIELD kCollectDigits[] = {kInvokeID, kDevice, kCall, {F::Number, "dwMaxDigits"}, {F::String, "strTerminationDigits"}, {F::Number, "dwFirstDigitTimeout"}, {F::Number, "dwInterDigitTimeout"}, {F::CollectOptions, "dwOptions"}};
constexpr OMBIXTRACEFIELD kRouteCall[] = {kInvokeID, kDevice, kCall, {F::String, "strDestRoute"}, {F::Number, "dwTimeout"}};
constexpr OMBIXTRACEFIELD kAgentLogin[] = {kInvokeID, kDevice, {F::String, "strAgent"}};
constexpr OMBIXTRACEFIELD kDeviceIndex[] = {kInvokeID, kDevice, {F::Number, "dwIndex"}};
constexpr OMBIXTRACEFIELD kSetEventFilter[] = {kInvokeID, kDevice, {F::Count, "dwCount"}, {F::EventList, "dwEvents"}};
constexpr OMBIXTRACEFIELD kMonitorStartSecure[] = {kInvokeID, {F::String, "strDID"}, {F::String, "strNonce"}, {F::String, "strDigest"}};
constexpr OMBIXTRACEFIELD kSetMessageWaiting[] = {kInvokeID, kDevice, {F::Number, "dwNewMessages"}, {F::Number, "dwOldMessages"}, {F::String, "strPhone"}};
constexpr OMBIXTRACEFIELD kValidatePrompt[] = {kInvokeID, kDevice, kCall, {F::String, "strFiles"}, {F::String, "strPayloadType"}};
constexpr OMBIXTRACEFIELD kGetApplicationData[] = {kInvokeID, kDevice, {F::String, "strApplication"}};
constexpr OMBIXTRACEFIELD kSetApplicationData[] = {kInvokeID, kDevice, {F::String, "strApplication"}, {F::String, "strValue"}};
constexpr OMBIXTRACEFIELD kDataInterface[] = {kInvokeID, kDevice, {F::String, "strInterface"}};
constexpr OMBIXTRACEFIELD kDataInterfaceQuery[] = {kInvokeID, kDevice, {F::String, "strInterface"}, {F::String, "strDstDevice"}};
constexpr OMBIXTRACEFIELD kDataInterfaceSend[] = {kInvokeID, kDevice, {F::String, "strInterface"}, {F::String, "strDstDevice"}, {F::String, "strDstInstance"}, {F::Number, "dwDataType"}, {F::Count, "dwDataLength"}, {F::Hex, "dwData"}};
constexpr OMBIXTRACEFIELD kConferenceCall[] = {kInvokeID, kConference, kCall};
constexpr OMBIXTRACEFIELD kMeetMeLock[] = {kInvokeID, kConference, {F::Number, "dwLock"}};
constexpr OMBIXTRACEFIELD kMeetMeModify[] = {kInvokeID, kConference, {F::String, "strTopic"}, {F::Number, "dwDuration"}, {F::Number, "dwPorts"}};
constexpr OMBIXTRACEFIELD kConferenceOnly[] = {kInvokeID, kConference};
constexpr OMBIXTRACEFIELD kMeetMeMute[] = {kInvokeID, kConference, kCall, {F::Number, "dwMute"}};
constexpr OMBIXTRACEFIELD kMeetMeSetCallInfo[] = {kInvokeID, kConference, kCall, {F::String, "strInfo"}};
// clang-format on

}  // namespace

BOOL FindSentLayout(DWORD dwMsgType, OmbixTraceLayout& layout) {
  switch (dwMsgType) {
    // clang-format off
    case OMBIX_DISCONNECT: case OMBIX_ACK: case OMBIX_PING: case OMBIX_QUERY_QUEUE_CONFIG_REQ:
    case OMBIX_SET_PERSONAL_DIRECTORY_REQ: case OMBIX_MEETME_HAND_RAISE_ACK_REQ:
      layout = {}; return TRUE;
    case OMBIX_ALTERNATE_CALL_REQ: case OMBIX_RECONNECT_CALL_REQ: case OMBIX_CONFERENCE_CALL_REQ:
      layout = kTwoCalls; return TRUE;
    case OMBIX_ANSWER_CALL_REQ: case OMBIX_HOLD_CALL_REQ: case OMBIX_RETRIEVE_CALL_REQ:
      layout = kCallPhone; return TRUE;
    case OMBIX_COMPLETE_TRANSFER_REQ: case OMBIX_COMPLETE_CONFERENCE_REQ:
      layout = kActiveHeld; return TRUE;
    case OMBIX_DIAL_DIGITS_REQ: layout = kDialDigits; return TRUE;
    case OMBIX_DROP_CONNECTION_REQ: layout = kDropConnection; return TRUE;
    case OMBIX_GET_CALL_DATA_REQ: layout = kGetCallData; return TRUE;
    case OMBIX_LOGIN_REQ: layout = kLogin; return TRUE;
    case OMBIX_MAKE_CALL_REQ: layout = kMakeCall; return TRUE;
    case OMBIX_MONITOR_START_REQ: layout = kMonitorStart; return TRUE;
    case OMBIX_MONITOR_STOP_REQ: case OMBIX_GET_REMOTE_MODE_REQ: case OMBIX_GET_CALL_FORWARDING_REQ:
    case OMBIX_GET_EVENT_FILTER_REQ: case OMBIX_QUERY_SECONDARY_PHONES_REQ:
      layout = kDeviceOnly; return TRUE;
    case OMBIX_PARK_CALL_REQ: layout = kParkCall; return TRUE;
    case OMBIX_PICKUP_CALL_REQ: layout = kPickupCall; return TRUE;
    case OMBIX_QUERY_AGENT_STATE_REQ: case OMBIX_QUERY_AGENT_STATS_REQ:
      layout = kAgentQueue; return TRUE;
    case OMBIX_QUERY_PHONE_STATE_REQ: case OMBIX_QUERY_PHONE_CONFIG_REQ:
      layout = kAgentPhone; return TRUE;
    case OMBIX_QUERY_QUEUE_STATS_REQ: layout = kQueueOnly; return TRUE;
    case OMBIX_REDIRECT_CALL_REQ: layout = kRedirectCall; return TRUE;
    case OMBIX_SET_AGENT_STATE_REQ: layout = kSetAgentState; return TRUE;
    case OMBIX_SET_CALL_DATA_REQ: layout = kSetCallData; return TRUE;
    case OMBIX_SET_CALL_FORWARDING_REQ: layout = kSetCallForwarding; return TRUE;
    case OMBIX_SET_DO_NOT_DISTURB_REQ: layout = kSetDoNotDisturb; return TRUE;
    case OMBIX_SETUP_TRANSFER_REQ: case OMBIX_SETUP_CONFERENCE_REQ:
    case OMBIX_SINGLE_STEP_TRANSFER_REQ: case OMBIX_SINGLE_STEP_CONFERENCE_REQ:
      layout = kCallNumberOptions; return TRUE;
    case OMBIX_SET_REMOTE_MODE_REQ: layout = kSetRemoteMode; return TRUE;
    case OMBIX_SET_CALLER_NAME_REQ: layout = kSetCallerName; return TRUE;
    case OMBIX_DROP_CONFERENCE_CONNECTION_REQ: layout = kDropConferenceConnection; return TRUE;
    case OMBIX_START_CALL_RECORDING_REQ: layout = kStartRecording; return TRUE;
    case OMBIX_STOP_CALL_RECORDING_REQ: case OMBIX_QUERY_RTP_STATISTICS_REQ:
      layout = kDeviceCall; return TRUE;
    case OMBIX_SET_RTP_STATISTICS_MODE_REQ: layout = kSetRtpMode; return TRUE;
    case OMBIX_VOICE_MAIL_REQ: layout = kVoiceMail; return TRUE;
    case OMBIX_SET_PASSWORD_REQ: layout = kSetPassword; return TRUE;
    case OMBIX_MAKE_AUTODIAL_CALL_REQ: layout = kAutodialCall; return TRUE;
    case OMBIX_PLAY_PROMPT_REQ: layout = kPlayPrompt; return TRUE;
    case OMBIX_COLLECT_DIGITS_REQ: layout = kCollectDigits; return TRUE;
    case OMBIX_ROUTE_CALL_REQ: layout = kRouteCall; return TRUE;
    case OMBIX_AGENT_LOGIN_REQ: layout = kAgentLogin; return TRUE;
    case OMBIX_QUERY_AGENT_LIST_REQ: case OMBIX_GET_PERSONAL_DIRECTORY_REQ:
    case OMBIX_GET_GLOBAL_DIRECTORY_REQ:
      layout = kDeviceIndex; return TRUE;
    case OMBIX_SET_EVENT_FILTER_REQ: layout = kSetEventFilter; return TRUE;
    case OMBIX_MONITOR_START_SECURE_REQ: layout = kMonitorStartSecure; return TRUE;
    case OMBIX_SET_MESSAGE_WAITING_REQ: layout = kSetMessageWaiting; return TRUE;
    case OMBIX_VALIDATE_PROMPT_REQ: layout = kValidatePrompt; return TRUE;
    case OMBIX_GET_APPLICATION_DATA_REQ: layout = kGetApplicationData; return TRUE;
    case OMBIX_SET_APPLICATION_DATA_REQ: layout = kSetApplicationData; return TRUE;
    case OMBIX_DATA_INTERFACE_REGISTER_REQ: case OMBIX_DATA_INTERFACE_UNREGISTER_REQ:
      layout = kDataInterface; return TRUE;
    case OMBIX_DATA_INTERFACE_QUERY_REQ: layout = kDataInterfaceQuery; return TRUE;
    case OMBIX_DATA_INTERFACE_SEND_REQ: layout = kDataInterfaceSend; return TRUE;
    case OMBIX_MEETME_DROP_CALL_REQ: case OMBIX_MEETME_ROLL_CALL_REQ:
      layout = kConferenceCall; return TRUE;
    case OMBIX_MEETME_LOCK_REQ: layout = kMeetMeLock; return TRUE;
    case OMBIX_MEETME_MODIFY_REQ: layout = kMeetMeModify; return TRUE;
    case OMBIX_MEETME_MONITOR_START_REQ: case OMBIX_MEETME_MONITOR_STOP_REQ:
    case OMBIX_MEETME_OPERATOR_REQ: case OMBIX_MEETME_QUERY_REQ:
      layout = kConferenceOnly; return TRUE;
    case OMBIX_MEETME_MUTE_REQ: layout = kMeetMeMute; return TRUE;
    case OMBIX_MEETME_SET_CALL_INFO_REQ: layout = kMeetMeSetCallInfo; return TRUE;
      // clang-format on
  }
  return FALSE;
}
