// The layouts of the messages the trace dumps as received: responses and events.
#include "switchapi/ombix_message_types.h"
#include "switchapi/ombix_trace_layout.h"
#include "switchapi/ombix_values.h"

namespace {

using F = OmbixField;

constexpr OMBIXTRACEFIELD kInvokeID{F::Number, "dwInvokeID"};
constexpr OMBIXTRACEFIELD kError{F::Named, "dwError", ErrorName};

constexpr OMBIXTRACEFIELD kPlainRsp[] = {kInvokeID, kError};
constexpr OMBIXTRACEFIELD kCallDataRsp[] = {kInvokeID,
                                            kError,
                                            {F::ObjectId, "oidCall"},
                                            {F::String, "strKey"},
                                            {F::String, "strValue"},
                                            {F::Number, "dwReadOnly"}};
constexpr OMBIXTRACEFIELD kLoginRsp[] = {kInvokeID,
                                         kError,
                                         {F::String, "strAPIVersion"},
                                         {F::String, "strServerVersion"},
                                         {F::String, "strMinimumClientVersion"},
                                         {F::String, "strCurrentClientVersion"}};
constexpr OMBIXTRACEFIELD kMakeCallRsp[] = {kInvokeID, kError, {F::ObjectId, "oidCall"}};
constexpr OMBIXTRACEFIELD kMonitorRsp[] = {kInvokeID,
                                           kError,
                                           {F::Number, "dwMonitorID"},
                                           {F::String, "strDevice"},
                                           {F::Named, "dwDeviceType", DeviceTypeName}};
constexpr OMBIXTRACEFIELD kMonitorSecureRsp[] = {kInvokeID,
                                                 kError,
                                                 {F::Number, "dwMonitorID"},
                                                 {F::String, "strDevice"},
                                                 {F::Named, "dwDeviceType", DeviceTypeName},
                                                 {F::String, "strNonce"}};
constexpr OMBIXTRACEFIELD kRemoteModeRsp[] = {kInvokeID,
                                              kError,
                                              {F::String, "strNumber"},
                                              {F::Number, "dwEnabled"},
                                              {F::Number, "dwActive"},
                                              {F::Number, "dwAutoEnable"}};
constexpr OMBIXTRACEFIELD kCallForwardingRsp[] = {kInvokeID,
                                                  kError,
                                                  {F::String, "strForwardAll"},
                                                  {F::String, "strForwardBusy"},
                                                  {F::String, "strForwardNoAnswer"},
                                                  {F::String, "strForwardOutOfService"}};
constexpr OMBIXTRACEFIELD kRtpStatisticsRsp[] = {
    kInvokeID, kError, {F::Count, "dwCount"}, {F::RtpEntries, ""}};
constexpr OMBIXTRACEFIELD kPhoneConfigRsp[] = {kInvokeID,
                                               kError,
                                               {F::String, "strPhoneType"},
                                               {F::Number, "dwMaxCalls"},
                                               {F::Number, "dwConfLimit"},
                                               {F::Features, "dwFeatures"},
                                               {F::Number, "dwFeaturesEx"},
                                               {F::Number, "dwTimeZone"},
                                               {F::Count, "dwLineAppearances"},
                                               {F::LineAppearances, ""},
                                               {F::String, "strPhonePassword"},
                                               {F::String, "strPhone"}};
constexpr OMBIXTRACEFIELD kVoiceMailRsp[] = {kInvokeID,
                                             kError,
                                             {F::Named, "dwCommand", VoiceMailCommandName},
                                             {F::Named, "dwFolderID", VoiceMailFolderName},
                                             {F::Number, "dwMsgID"},
                                             {F::Number, "dwTotal"},
                                             {F::Number, "dwIndex"},
                                             {F::Count, "dwCount"},
                                             {F::VoiceMailEntries, ""}};
constexpr OMBIXTRACEFIELD kPlayPromptRsp[] = {
    kInvokeID, kError, {F::String, "strFiles"}, {F::String, "strPayloadType"}};
constexpr OMBIXTRACEFIELD kCollectDigitsRsp[] = {kInvokeID, kError, {F::String, "strDigits"}};
constexpr OMBIXTRACEFIELD kStringListRsp[] = {kInvokeID,
                                              kError,
                                              {F::Number, "dwTotal"},
                                              {F::Number, "dwIndex"},
                                              {F::Count, "dwCount"},
                                              {F::StringList, ""}};
constexpr OMBIXTRACEFIELD kEventFilterRsp[] = {
    kInvokeID, kError, {F::Count, "dwCount"}, {F::EventList, "dwEvents"}};
constexpr OMBIXTRACEFIELD kAgentStatsRsp[] = {kInvokeID,
                                              kError,
                                              {F::String, "strAgent"},
                                              {F::Named, "dwAgentState", AgentStateName},
                                              {F::DateTime, "tStateTime"},
                                              {F::String, "strQueue"},
                                              {F::DateTime, "tLoginTime"},
                                              {F::Number, "dwTotalLoginTime"},
                                              {F::Number, "dwTotalReadyTime"},
                                              {F::Number, "dwTotalNotReadyTime"},
                                              {F::Number, "dwTotalAlertingTime"},
                                              {F::Number, "dwTotalTalkTime"},
                                              {F::Number, "dwTotalHoldTime"},
                                              {F::Number, "dwTotalWrapTime"},
                                              {F::Number, "dwTotalOtherTime"},
                                              {F::Number, "dwCallsOffered"},
                                              {F::Number, "dwCallsNoAnswer"},
                                              {F::Number, "dwCallsAbandonedRinging"},
                                              {F::Number, "dwCallsAbandonedHeld"},
                                              {F::Number, "dwCallsAgentRelease"},
                                              {F::Number, "dwCallsAgentHold"},
                                              {F::Number, "dwCallsTransferred"},
                                              {F::Number, "dwCallsOther"}};
constexpr OMBIXTRACEFIELD kSecondaryPhonesRsp[] = {
    kInvokeID, kError, {F::Count, "dwPhoneCount"}, {F::PhoneList, "strPhone"}};
constexpr OMBIXTRACEFIELD kApplicationDataRsp[] = {
    kInvokeID, kError, {F::String, "strApplication"}, {F::String, "strValue"}};
constexpr OMBIXTRACEFIELD kDataInterfaceQueryRsp[] = {kInvokeID,
                                                      kError,
                                                      {F::String, "strInterface"},
                                                      {F::String, "strDstDevice"},
                                                      {F::Count, "dwInstances"},
                                                      {F::Instances, ""}};
constexpr OMBIXTRACEFIELD kMeetMeRsp[] = {kInvokeID, kError, {F::Number, "dwConferenceID"}};
constexpr OMBIXTRACEFIELD kMeetMeMonitorRsp[] = {
    kInvokeID, kError, {F::Number, "dwConferenceID"}, {F::Number, "dwModerator"}};
constexpr OMBIXTRACEFIELD kMeetMeQueryRsp[] = {kInvokeID,
                                               kError,
                                               {F::Number, "dwConferenceID"},
                                               {F::Number, "dwGuestID"},
                                               {F::DateTime, "dwStartTime"},
                                               {F::Number, "dwDuration"},
                                               {F::Number, "dwPorts"},
                                               {F::Number, "dwMaxPortsJoined"},
                                               {F::String, "strTopic"},
                                               {F::String, "strJoinDID"},
                                               {F::Number, "dwLocked"}};

constexpr OMBIXTRACEFIELD kAgentEvent[] = {{F::Number, "dwMonitorID"},
                                           {F::String, "strAgent"},
                                           {F::Named, "dwAgentState", AgentStateName},
                                           {F::Named, "dwAgentNextState", AgentStateName},
                                           {F::ClockTime, "tEventTime"},
                                           {F::String, "strQueues"},
                                           {F::String, "strDevice"},
                                           {F::ObjectId, "oidCall"}};
constexpr OMBIXTRACEFIELD kCallConnectionEvent[] = {{F::Number, "dwMonitorID"},
                                                    {F::String, "strDevice"},
                                                    {F::ObjectId, "oidCall"},
                                                    {F::Named, "dwEvent", CallConnectionEventName},
                                                    {F::Named, "dwEventCause", EventCauseName},
                                                    {F::ClockTime, "tEventTime"},
                                                    {F::Connections, "Connection"},
                                                    {F::ObjectId, "oidRelated"},
                                                    {F::String, "strDialedDigits"},
                                                    {F::String, "strActivePhone"}};
constexpr OMBIXTRACEFIELD kQueueStatsEvent[] = {
    {F::Number, "dwMonitorID"},       {F::String, "strQueue"},
    {F::String, "strQueueName"},      {F::ClockTime, "tEventTime"},
    {F::Number, "dwCallsInQueue"},    {F::Number, "dwRingingCalls"},
    {F::Number, "dwActiveCalls"},     {F::Number, "dwOldestCallInQueue"},
    {F::Number, "dwAgentsAvailable"}, {F::DateTime, "tIntervalBegin"},
    {F::DateTime, "tIntervalEnd"},    {F::Number, "dwServiceLevel"},
    {F::Number, "dwCallsInSvcLvl"},   {F::Number, "dwCallsQueued"},
    {F::Number, "dwCallsOverflowed"}, {F::Number, "dwCallsAbandoned"},
    {F::Number, "dwCallsAnswered"},   {F::Number, "dwCallsNoAnswer"},
    {F::Number, "dwCallsHandled"},    {F::Number, "dwCallsTransferred"},
    {F::Number, "dwMinHoldTime"},     {F::Number, "dwMaxHoldTime"},
    {F::Number, "dwTotalTalkTime"},   {F::Number, "dwMinTalkTime"},
    {F::Number, "dwMaxTalkTime"},     {F::Number, "dwTotalHoldTime"},
    {F::Number, "dwAgentsLoggedIn"}};
constexpr OMBIXTRACEFIELD kPhoneStateEvent[] = {{F::Number, "dwMonitorID"},
                                                {F::String, "strDevice"},
                                                {F::Named, "dwEvent", PhoneStateEventName},
                                                {F::ClockTime, "tEventTime"},
                                                {F::Number, "dwInService"},
                                                {F::Number, "dwDoNotDisturb"},
                                                {F::Number, "dwTotalMessages"},
                                                {F::Number, "dwForwarding"},
                                                {F::Number, "dwRemotePhone"},
                                                {F::Number, "dwRTPStatistics"},
                                                {F::Number, "dwNewMessages"},
                                                {F::Number, "dwOldMessages"},
                                                {F::Number, "dwServiceSuspended"},
                                                {F::String, "strPhone"}};
constexpr OMBIXTRACEFIELD kMeetMeConferenceEvent[] = {{F::Number, "dwConferenceID"},
                                                      {F::ObjectId, "oidCall"},
                                                      {F::Selector, "dwEvent", MeetMeEventName},
                                                      {F::ClockTime, "tEventTime"},
                                                      {F::MeetMeTail, ""}};
constexpr OMBIXTRACEFIELD kCallMediaEvent[] = {
    {F::Number, "dwMonitorID"},   {F::String, "strDevice"},
    {F::ObjectId, "oidCall"},     {F::Named, "dwEvent", CallMediaEventName},
    {F::ClockTime, "tEventTime"}, {F::String, "strUdpLocal"},
    {F::String, "strUdpRemote"},  {F::String, "strPayloadType"},
    {F::String, "strMediaType"},  {F::String, "strMediaMode"},
    {F::Number, "dwPTime"}};
constexpr OMBIXTRACEFIELD kClientMonitorEvent[] = {{F::Number, "dwMonitorID"},
                                                   {F::String, "strDevice"},
                                                   {F::Named, "dwEvent", ClientMonitorEventName},
                                                   {F::ClockTime, "tEventTime"},
                                                   {F::String, "strClient"},
                                                   {F::String, "strClientVersion"},
                                                   {F::String, "strClientUdp"},
                                                   {F::Number, "dwMonitorCount"}};
constexpr OMBIXTRACEFIELD kDataInterfaceEvent[] = {
    {F::Number, "dwMonitorID"},   {F::String, "strDevice"},    {F::String, "strInterface"},
    {F::ClockTime, "tEventTime"}, {F::String, "strSrcDevice"}, {F::String, "strSrcInstance"},
    {F::Number, "dwDataType"},    {F::Count, "dwDataLength"},  {F::Hex, "dwData"}};

}  // namespace

BOOL FindReceivedLayout(DWORD dwMsgType, OmbixTraceLayout& layout) {
  if (IsOmbixPlainResponse(dwMsgType)) {
    layout = kPlainRsp;
    return TRUE;
  }
  switch (dwMsgType) {
    case OMBIX_DISCONNECT:
    case OMBIX_ACK:
    case OMBIX_PING:
      layout = {};
      return TRUE;
    case OMBIX_GET_CALL_DATA_RSP:
    case OMBIX_SET_CALL_DATA_RSP:
      layout = kCallDataRsp;
      return TRUE;
    case OMBIX_LOGIN_RSP:
      layout = kLoginRsp;
      return TRUE;
    case OMBIX_MAKE_CALL_RSP:
    case OMBIX_SETUP_TRANSFER_RSP:
    case OMBIX_SETUP_CONFERENCE_RSP:
    case OMBIX_MAKE_AUTODIAL_CALL_RSP:
      layout = kMakeCallRsp;
      return TRUE;
    case OMBIX_MONITOR_START_RSP:
      layout = kMonitorRsp;
      return TRUE;
    case OMBIX_MONITOR_START_SECURE_RSP:
      layout = kMonitorSecureRsp;
      return TRUE;
    case OMBIX_GET_REMOTE_MODE_RSP:
      layout = kRemoteModeRsp;
      return TRUE;
    case OMBIX_GET_CALL_FORWARDING_RSP:
      layout = kCallForwardingRsp;
      return TRUE;
    case OMBIX_QUERY_RTP_STATISTICS_RSP:
      layout = kRtpStatisticsRsp;
      return TRUE;
    case OMBIX_QUERY_PHONE_CONFIG_RSP:
      layout = kPhoneConfigRsp;
      return TRUE;
    case OMBIX_VOICE_MAIL_RSP:
      layout = kVoiceMailRsp;
      return TRUE;
    case OMBIX_PLAY_PROMPT_RSP:
    case OMBIX_VALIDATE_PROMPT_RSP:
      layout = kPlayPromptRsp;
      return TRUE;
    case OMBIX_COLLECT_DIGITS_RSP:
      layout = kCollectDigitsRsp;
      return TRUE;
    case OMBIX_QUERY_AGENT_LIST_RSP:
    case OMBIX_GET_PERSONAL_DIRECTORY_RSP:
    case OMBIX_GET_GLOBAL_DIRECTORY_RSP:
      layout = kStringListRsp;
      return TRUE;
    case OMBIX_GET_EVENT_FILTER_RSP:
    case OMBIX_SET_EVENT_FILTER_RSP:
      layout = kEventFilterRsp;
      return TRUE;
    case OMBIX_QUERY_AGENT_STATS_RSP:
      layout = kAgentStatsRsp;
      return TRUE;
    case OMBIX_QUERY_SECONDARY_PHONES_RSP:
      layout = kSecondaryPhonesRsp;
      return TRUE;
    case OMBIX_GET_APPLICATION_DATA_RSP:
      layout = kApplicationDataRsp;
      return TRUE;
    case OMBIX_DATA_INTERFACE_QUERY_RSP:
      layout = kDataInterfaceQueryRsp;
      return TRUE;
    case OMBIX_MEETME_DROP_CALL_RSP:
    case OMBIX_MEETME_LOCK_RSP:
    case OMBIX_MEETME_MODIFY_RSP:
    case OMBIX_MEETME_MUTE_RSP:
    case OMBIX_MEETME_ROLL_CALL_RSP:
    case OMBIX_MEETME_SET_CALL_INFO_RSP:
      layout = kMeetMeRsp;
      return TRUE;
    case OMBIX_MEETME_MONITOR_START_RSP:
      layout = kMeetMeMonitorRsp;
      return TRUE;
    case OMBIX_MEETME_QUERY_RSP:
      layout = kMeetMeQueryRsp;
      return TRUE;
    case OMBIX_AGENT_EVENT:
      layout = kAgentEvent;
      return TRUE;
    case OMBIX_CALL_CONNECTION_EVENT:
      layout = kCallConnectionEvent;
      return TRUE;
    case OMBIX_QUEUE_STATS_EVENT:
      layout = kQueueStatsEvent;
      return TRUE;
    case OMBIX_PHONE_STATE_EVENT:
      layout = kPhoneStateEvent;
      return TRUE;
    case OMBIX_MEETME_CONFERENCE_EVENT:
      layout = kMeetMeConferenceEvent;
      return TRUE;
    case OMBIX_CALL_MEDIA_EVENT:
      layout = kCallMediaEvent;
      return TRUE;
    case OMBIX_CLIENT_MONITOR_EVENT:
      layout = kClientMonitorEvent;
      return TRUE;
    case OMBIX_DATA_INTERFACE_EVENT:
      layout = kDataInterfaceEvent;
      return TRUE;
  }
  return FALSE;
}
