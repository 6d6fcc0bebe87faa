#include "switchapi/ombix_decoder.h"

#include "switchapi/ombix_values.h"

void ReadConnection(COmbixReader& r, COmbixConnection& c) {
  c.tTime = r.ReadTime();
  r.ReadString(c.strNumber);
  r.ReadString(c.strName);
  c.dwDeviceType = r.ReadDword();
  c.dwState = static_cast<LONG>(r.ReadDword());
}

void ReadMeetMeCall(COmbixReader& r, COmbixMeetMeCall& call) {
  r.ReadObjectId(call.m_oidCall);
  call.tConnect = r.ReadTime();
  r.ReadString(call.strCallerID);
  r.ReadString(call.strCallerInfo);
  call.dwState = r.ReadDword();
}

void ReadVoiceMailEntry(COmbixReader& r, COmbixVoiceMailEntry& e) {
  e.dwMsgID = r.ReadDword();
  r.ReadString(e.strNumber);
  r.ReadString(e.strName);
  e.tTime = r.ReadTime();
  e.dwDuration = r.ReadDword();
  e.dwFlags = r.ReadDword();
}

namespace {

// Reads a bounded count into dwCount and allocates that many empty elements into pArray.
template <class T>
void ReadCountedArray(COmbixReader& r, DWORD dwMinSize, DWORD& dwCount,
                      std::unique_ptr<T[]>& pArray) {
  dwCount = r.ReadCount(dwMinSize);
  if (dwCount > 0) pArray = std::make_unique<T[]>(dwCount);
}

// One overload per class, each reading its base's fields first.

void Read(COmbixReader& r, COmbixRsp& m) {
  m.dwInvokeID = r.ReadDword();
  m.dwError = r.ReadDword();
}

void Read(COmbixReader& r, COmbixLoginRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  r.ReadString(m.strAPIVersion);
  r.ReadString(m.strServerVersion);
  // strMinimumClientVersion and strCurrentClientVersion are not kept.
}

void Read(COmbixReader& r, COmbixMakeCallRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  r.ReadObjectId(m.oidCall);
}

void Read(COmbixReader& r, COmbixCallDataRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  r.ReadObjectId(m.oidCall);
  r.ReadString(m.strKey);
  r.ReadString(m.strValue);
  m.dwReadOnly = r.ReadDword();
}

void Read(COmbixReader& r, COmbixMonitorRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  m.dwMonitorID = r.ReadDword();
  r.ReadString(m.strDevice);
  m.dwDeviceType = r.ReadDword();
}

void Read(COmbixReader& r, COmbixMonitorSecureRsp& m) {
  Read(r, static_cast<COmbixMonitorRsp&>(m));
  r.ReadString(m.strNonce);
}

void Read(COmbixReader& r, COmbixRemoteModeRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  r.ReadString(m.strNumber);
  m.dwEnabled = r.ReadDword();
  m.dwActive = r.ReadDword();
  m.dwAutoEnable = r.ReadDword();
}

void Read(COmbixReader& r, COmbixCallForwardingRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  r.ReadString(m.strForwardAll);
  r.ReadString(m.strForwardBusy);
  r.ReadString(m.strForwardNoAnswer);
  r.ReadString(m.strForwardOutOfService);
}

void Read(COmbixReader& r, COmbixRTPStatisticsRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  ReadCountedArray(r, kOmbixRTPStatisticsMinSize, m.dwCount, m.pStatistics);
  for (DWORD i = 0; i < m.dwCount; ++i) {
    COmbixRTPStatistics& s = m.pStatistics[i];
    r.ReadObjectId(s.oidCall);
    r.ReadObjectId(s.oidEnd);
    r.ReadString(s.strNumber);
    s.tBeginTime = r.ReadTime();
    s.tEndTime = r.ReadTime();
    r.ReadString(s.strCodec);
    s.dwPacketsSent = r.ReadDword();
    s.dwPacketsReceived = r.ReadDword();
    s.dwPacketsLost = r.ReadDword();
    s.dwJitter = r.ReadDword();
    s.dwAvgLatency = r.ReadDword();
  }
}

void Read(COmbixReader& r, COmbixPhoneConfigRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  r.ReadString(m.strPhoneType);
  m.dwMaxCalls = r.ReadDword();
  m.dwConfLimit = r.ReadDword();
  m.dwFeatures = r.ReadDword();
  m.dwFeaturesEx = r.ReadDword();
  m.dwTimeZone = r.ReadDword();
  ReadCountedArray(r, kOmbixLineAppearanceMinSize, m.dwLineAppearances, m.pLineAppearances);
  for (DWORD i = 0; i < m.dwLineAppearances; ++i) {
    COmbixLineAppearance& a = m.pLineAppearances[i];
    r.ReadString(a.strNumber);
    r.ReadString(a.strName);
    a.dwDeviceType = r.ReadDword();
  }
  r.ReadString(m.strPhonePassword);
  r.ReadString(m.strPhone);
}

void Read(COmbixReader& r, COmbixVoiceMailRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  m.dwCommand = r.ReadDword();
  m.dwFolderID = r.ReadDword();
  m.dwMsgID = r.ReadDword();
  m.dwTotal = r.ReadDword();
  m.dwIndex = r.ReadDword();
  ReadCountedArray(r, kOmbixVoiceMailEntryMinSize, m.dwCount, m.pEntries);
  for (DWORD i = 0; i < m.dwCount; ++i) ReadVoiceMailEntry(r, m.pEntries[i]);
}

void Read(COmbixReader& r, COmbixPlayPromptRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  r.ReadString(m.strFiles);
  r.ReadString(m.strPayloadType);
}

void Read(COmbixReader& r, COmbixCollectDigitsRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  r.ReadString(m.strDigits);
}

// Agent lists and directories share one layout: dwTotal, dwIndex, then a counted string list.
template <class T>
void ReadStringList(COmbixReader& r, T& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  m.dwTotal = r.ReadDword();
  m.dwIndex = r.ReadDword();
  ReadCountedArray(r, kOmbixStringMinSize, m.dwCount, m.pStrings);
  for (DWORD i = 0; i < m.dwCount; ++i) r.ReadString(m.pStrings[i]);
}

void Read(COmbixReader& r, COmbixAgentListRsp& m) {
  ReadStringList(r, m);
}
void Read(COmbixReader& r, COmbixDirectoryRsp& m) {
  ReadStringList(r, m);
}

void Read(COmbixReader& r, COmbixEventFilterRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  ReadCountedArray(r, kOmbixDwordSize, m.dwCount, m.pEventTypes);
  for (DWORD i = 0; i < m.dwCount; ++i) m.pEventTypes[i] = r.ReadDword();
}

void Read(COmbixReader& r, COmbixAgentStatsRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  r.ReadString(m.strAgent);
  m.dwAgentState = r.ReadDword();
  m.tStateTime = r.ReadTime();
  r.ReadString(m.strQueue);
  m.tLoginTime = r.ReadTime();
  for (DWORD* pdw :
       {&m.dwTotalLoginTime, &m.dwTotalReadyTime, &m.dwTotalNotReadyTime, &m.dwTotalAlertingTime,
        &m.dwTotalTalkTime, &m.dwTotalHoldTime, &m.dwTotalWrapTime, &m.dwTotalOtherTime,
        &m.dwCallsOffered, &m.dwCallsNoAnswer, &m.dwCallsAbandonedRinging, &m.dwCallsAbandonedHeld,
        &m.dwCallsAgentRelease, &m.dwCallsAgentHold, &m.dwCallsTransferred, &m.dwCallsOther}) {
    *pdw = r.ReadDword();
  }
}

void Read(COmbixReader& r, COmbixQuerySecondaryPhones& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  const DWORD dwSent = r.ReadCount(kOmbixStringMinSize);
  m.dwPhoneCount = dwSent < kOmbixMaxSecondaryPhones ? dwSent : kOmbixMaxSecondaryPhones;
  // Phones beyond the tenth are left unread: nothing follows them.
  for (DWORD i = 0; i < m.dwPhoneCount; ++i) r.ReadString(m.strPhone[i]);
}

void Read(COmbixReader& r, COmbixApplicationDataRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  r.ReadString(m.strApplication);
  r.ReadString(m.strValue);
}

void Read(COmbixReader& r, COmbixDataInterfaceQueryRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  r.ReadString(m.strInterface);
  r.ReadString(m.strDstDevice);
  ReadCountedArray(r, kOmbixDataInterfaceInstanceMinSize, m.dwInstances, m.pInstances);
  for (DWORD i = 0; i < m.dwInstances; ++i) {
    r.ReadString(m.pInstances[i].strDevice);
    r.ReadString(m.pInstances[i].strInstance);
    r.ReadString(m.pInstances[i].strClient);
  }
}

void Read(COmbixReader& r, COmbixMeetMeRsp& m) {
  Read(r, static_cast<COmbixRsp&>(m));
  m.dwConferenceID = r.ReadDword();
}

void Read(COmbixReader& r, COmbixMeetMeMonitorRsp& m) {
  Read(r, static_cast<COmbixMeetMeRsp&>(m));
  m.dwModerator = r.ReadDword();
}

void Read(COmbixReader& r, COmbixMeetMeQueryRsp& m) {
  Read(r, static_cast<COmbixMeetMeRsp&>(m));
  m.dwGuestID = r.ReadDword();
  m.dwStartTime = r.ReadTime();
  m.dwDuration = r.ReadDword();
  m.dwPorts = r.ReadDword();
  m.dwMaxPortsJoined = r.ReadDword();
  r.ReadString(m.strTopic);
  r.ReadString(m.strJoinDID);
  m.dwLocked = r.ReadDword();
}

void Read(COmbixReader& r, COmbixAgentEvent& m) {
  m.dwMonitorID = r.ReadDword();
  r.ReadString(m.strAgent);
  m.dwAgentState = r.ReadDword();
  m.dwAgentNextState = r.ReadDword();
  m.tEventTime = r.ReadTime();
  r.ReadString(m.strQueues);
  r.ReadString(m.strDevice);
  r.ReadObjectId(m.oidCall);
}

void Read(COmbixReader& r, COmbixCallConnectionEvent& m) {
  m.dwMonitorID = r.ReadDword();
  r.ReadString(m.strDevice);
  r.ReadObjectId(m.oidCall);
  m.dwEvent = r.ReadDword();
  m.dwEventCause = r.ReadDword();
  m.tEventTime = r.ReadTime();
  ReadCountedArray(r, kOmbixConnectionMinSize, m.dwConnectionCount, m.pConnections);
  for (DWORD i = 0; i < m.dwConnectionCount; ++i) ReadConnection(r, m.pConnections[i]);
  r.ReadObjectId(m.oidRelated);
  r.ReadString(m.strDialedDigits);
  r.ReadString(m.strActivePhone);
}

void Read(COmbixReader& r, COmbixQueueStatsEvent& m) {
  m.dwMonitorID = r.ReadDword();
  r.ReadString(m.strQueue);
  r.ReadString(m.strQueueName);
  m.tEventTime = r.ReadTime();
  for (DWORD* pdw : {&m.dwCallsInQueue, &m.dwRingingCalls, &m.dwActiveCalls, &m.dwOldestCallInQueue,
                     &m.dwAgentsAvailable}) {
    *pdw = r.ReadDword();
  }
  m.tIntervalBegin = r.ReadTime();
  m.tIntervalEnd = r.ReadTime();
  for (DWORD* pdw : {&m.dwServiceLevel, &m.dwCallsInSvcLvl, &m.dwCallsQueued, &m.dwCallsOverflowed,
                     &m.dwCallsAbandoned, &m.dwCallsAnswered, &m.dwCallsNoAnswer, &m.dwCallsHandled,
                     &m.dwCallsTransferred, &m.dwMinHoldTime, &m.dwMaxHoldTime, &m.dwTotalTalkTime,
                     &m.dwMinTalkTime, &m.dwMaxTalkTime, &m.dwTotalHoldTime, &m.dwAgentsLoggedIn}) {
    *pdw = r.ReadDword();
  }
}

void Read(COmbixReader& r, COmbixPhoneStateEvent& m) {
  m.dwMonitorID = r.ReadDword();
  r.ReadString(m.strDevice);
  m.dwEvent = r.ReadDword();
  m.tEventTime = r.ReadTime();
  for (DWORD* pdw : {&m.dwInService, &m.dwDoNotDisturb, &m.dwTotalMessages, &m.dwForwarding,
                     &m.dwRemotePhone, &m.dwRTPStatistics, &m.dwNewMessages, &m.dwOldMessages}) {
    *pdw = r.ReadDword();
  }
  // dwServiceSuspended and strPhone are not kept.
}

void Read(COmbixReader& r, COmbixMeetMeConferenceEvent& m) {
  m.dwConferenceID = r.ReadDword();
  r.ReadObjectId(m.oidCall);
  m.dwEvent = r.ReadDword();
  m.tEventTime = r.ReadTime();
  if (m.dwEvent != MEETME_CONF_MODIFIED) {
    ReadCountedArray(r, kOmbixMeetMeCallMinSize, m.dwCalls, m.pCalls);
    for (DWORD i = 0; i < m.dwCalls; ++i) ReadMeetMeCall(r, m.pCalls[i]);
    return;
  }
  m.dwStartTime = r.ReadTime();
  m.dwDuration = r.ReadDword();
  m.dwPorts = r.ReadDword();
  m.dwMaxPortsJoined = r.ReadDword();
  r.ReadString(m.strTopic);
  m.dwLocked = r.ReadDword();
}

void Read(COmbixReader& r, COmbixCallMediaEvent& m) {
  m.dwMonitorID = r.ReadDword();
  r.ReadString(m.strDevice);
  r.ReadObjectId(m.oidCall);
  m.dwEvent = r.ReadDword();
  m.tEventTime = r.ReadTime();
  r.ReadString(m.strUdpLocal);
  r.ReadString(m.strUdpRemote);
  r.ReadString(m.strPayloadType);
  r.ReadString(m.strMediaType);
  r.ReadString(m.strMediaMode);
  m.dwPTime = r.ReadDword();
}

void Read(COmbixReader& r, COmbixClientMonitorEvent& m) {
  m.dwMonitorID = r.ReadDword();
  r.ReadString(m.strDevice);
  m.dwEvent = r.ReadDword();
  m.tEventTime = r.ReadTime();
  r.ReadString(m.strClient);
  r.ReadString(m.strClientVersion);
  r.ReadString(m.strClientUdp);
  m.dwMonitorCount = r.ReadDword();
}

void Read(COmbixReader& r, COmbixDataInterfaceEvent& m) {
  m.dwMonitorID = r.ReadDword();
  r.ReadString(m.strDevice);
  r.ReadString(m.strInterface);
  m.tEventTime = r.ReadTime();
  r.ReadString(m.strSrcDevice);
  r.ReadString(m.strSrcInstance);
  m.dwDataType = r.ReadDword();
  m.dwDataLength = r.ReadCount(kOmbixDataByteSize);
  if (m.dwDataLength == 0) return;
  m.pData = std::make_unique<BYTE[]>(m.dwDataLength);
  r.ReadBytes(m.pData.get(), m.dwDataLength);
}

template <class T>
std::unique_ptr<COmbixMsg> Decode(COmbixReader& r, DWORD dwType) {
  auto pMsg = std::make_unique<T>(dwType);
  Read(r, *pMsg);
  return pMsg;
}

}  // namespace

std::unique_ptr<COmbixMsg> DecodeMessage(const BYTE* pDatagram, DWORD dwLength) {
  const DWORD dwType = ReadOmbixHeader(pDatagram, dwLength).dwMsgType;
  COmbixReader r(pDatagram, dwLength, kOmbixHeaderSize);
  if (IsOmbixPlainResponse(dwType)) return Decode<COmbixRsp>(r, dwType);
  switch (dwType) {
    case OMBIX_LOGIN_RSP:
      return Decode<COmbixLoginRsp>(r, dwType);
    case OMBIX_MAKE_CALL_RSP:
    case OMBIX_SETUP_TRANSFER_RSP:
    case OMBIX_SETUP_CONFERENCE_RSP:
    case OMBIX_MAKE_AUTODIAL_CALL_RSP:
      return Decode<COmbixMakeCallRsp>(r, dwType);
    case OMBIX_GET_CALL_DATA_RSP:
    case OMBIX_SET_CALL_DATA_RSP:
      return Decode<COmbixCallDataRsp>(r, dwType);
    case OMBIX_MONITOR_START_RSP:
      return Decode<COmbixMonitorRsp>(r, dwType);
    case OMBIX_MONITOR_START_SECURE_RSP:
      return Decode<COmbixMonitorSecureRsp>(r, dwType);
    case OMBIX_GET_REMOTE_MODE_RSP:
      return Decode<COmbixRemoteModeRsp>(r, dwType);
    case OMBIX_GET_CALL_FORWARDING_RSP:
      return Decode<COmbixCallForwardingRsp>(r, dwType);
    case OMBIX_QUERY_RTP_STATISTICS_RSP:
      return Decode<COmbixRTPStatisticsRsp>(r, dwType);
    case OMBIX_QUERY_PHONE_CONFIG_RSP:
      return Decode<COmbixPhoneConfigRsp>(r, dwType);
    case OMBIX_VOICE_MAIL_RSP:
      return Decode<COmbixVoiceMailRsp>(r, dwType);
    case OMBIX_PLAY_PROMPT_RSP:
    case OMBIX_VALIDATE_PROMPT_RSP:
      return Decode<COmbixPlayPromptRsp>(r, dwType);
    case OMBIX_COLLECT_DIGITS_RSP:
      return Decode<COmbixCollectDigitsRsp>(r, dwType);
    case OMBIX_QUERY_AGENT_LIST_RSP:
      return Decode<COmbixAgentListRsp>(r, dwType);
    case OMBIX_GET_EVENT_FILTER_RSP:
    case OMBIX_SET_EVENT_FILTER_RSP:
      return Decode<COmbixEventFilterRsp>(r, dwType);
    case OMBIX_QUERY_AGENT_STATS_RSP:
      return Decode<COmbixAgentStatsRsp>(r, dwType);
    case OMBIX_QUERY_SECONDARY_PHONES_RSP:
      return Decode<COmbixQuerySecondaryPhones>(r, dwType);
    case OMBIX_GET_PERSONAL_DIRECTORY_RSP:
    case OMBIX_GET_GLOBAL_DIRECTORY_RSP:
      return Decode<COmbixDirectoryRsp>(r, dwType);
    case OMBIX_GET_APPLICATION_DATA_RSP:
      return Decode<COmbixApplicationDataRsp>(r, dwType);
    case OMBIX_DATA_INTERFACE_QUERY_RSP:
      return Decode<COmbixDataInterfaceQueryRsp>(r, dwType);
    case OMBIX_MEETME_DROP_CALL_RSP:
    case OMBIX_MEETME_LOCK_RSP:
    case OMBIX_MEETME_MODIFY_RSP:
    case OMBIX_MEETME_MUTE_RSP:
    case OMBIX_MEETME_ROLL_CALL_RSP:
    case OMBIX_MEETME_SET_CALL_INFO_RSP:
      return Decode<COmbixMeetMeRsp>(r, dwType);
    case OMBIX_MEETME_MONITOR_START_RSP:
      return Decode<COmbixMeetMeMonitorRsp>(r, dwType);
    case OMBIX_MEETME_QUERY_RSP:
      return Decode<COmbixMeetMeQueryRsp>(r, dwType);
    case OMBIX_AGENT_EVENT:
      return Decode<COmbixAgentEvent>(r, dwType);
    case OMBIX_CALL_CONNECTION_EVENT:
      return Decode<COmbixCallConnectionEvent>(r, dwType);
    case OMBIX_QUEUE_STATS_EVENT:
      return Decode<COmbixQueueStatsEvent>(r, dwType);
    case OMBIX_PHONE_STATE_EVENT:
      return Decode<COmbixPhoneStateEvent>(r, dwType);
    case OMBIX_MEETME_CONFERENCE_EVENT:
      return Decode<COmbixMeetMeConferenceEvent>(r, dwType);
    case OMBIX_CALL_MEDIA_EVENT:
      return Decode<COmbixCallMediaEvent>(r, dwType);
    case OMBIX_CLIENT_MONITOR_EVENT:
      return Decode<COmbixClientMonitorEvent>(r, dwType);
    case OMBIX_DATA_INTERFACE_EVENT:
      return Decode<COmbixDataInterfaceEvent>(r, dwType);
  }
  // A type the decoder does not know: nothing of the body is read.
  return std::make_unique<COmbixMsg>(dwType);
}
