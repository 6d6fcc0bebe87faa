// Decoded switch events (message types 16 to 23). Same contract as ombix_msg.h: missing fields
// stay 0, empty or zero bytes; each counted array's count is the number of elements allocated.
// Every event begins with dwMonitorID except the MeetMe conference event (dwConferenceID).
#pragma once

#include <memory>

#include "platform/wintypes.h"
#include "switchapi/ombix_msg.h"
#include "switchapi/ombix_values.h"
#include "switchapi/ombix_wire.h"

class COmbixAgentEvent : public COmbixMsg {
 public:
  using COmbixMsg::COmbixMsg;
  DWORD dwMonitorID = 0;
  char strAgent[32] = {};
  DWORD dwAgentState = 0;
  DWORD dwAgentNextState = 0;
  OMBIXTIME tEventTime = 0;
  char strQueues[32] = {};
  char strDevice[32] = {};
  ObjectId oidCall = {};
};

// One party of a call-connection event.
struct COmbixConnection {
  OMBIXTIME tTime = 0;
  char strNumber[32] = {};
  char strName[64] = {};
  DWORD dwDeviceType = 0;     // DEVICE_TYPE_*
  LONG dwState = CS_UNKNOWN;  // CS_*; a state missing from the datagram reads as 0
};

class COmbixCallConnectionEvent : public COmbixMsg {
 public:
  using COmbixMsg::COmbixMsg;
  DWORD dwMonitorID = 0;
  char strDevice[64] = {};
  ObjectId oidCall = {};
  DWORD dwEvent = 0;       // CALL_CONNECTION_*
  DWORD dwEventCause = 0;  // EC_*
  OMBIXTIME tEventTime = 0;
  DWORD dwConnectionCount = 0;
  std::unique_ptr<COmbixConnection[]> pConnections;
  ObjectId oidRelated = {};
  char strDialedDigits[64] = {};
  char strActivePhone[64] = {};
};

class COmbixQueueStatsEvent : public COmbixMsg {
 public:
  using COmbixMsg::COmbixMsg;
  DWORD dwMonitorID = 0;
  char strQueue[32] = {};
  char strQueueName[64] = {};
  OMBIXTIME tEventTime = 0;
  DWORD dwCallsInQueue = 0;
  DWORD dwRingingCalls = 0;
  DWORD dwActiveCalls = 0;
  DWORD dwOldestCallInQueue = 0;
  DWORD dwAgentsAvailable = 0;
  OMBIXTIME tIntervalBegin = 0;
  OMBIXTIME tIntervalEnd = 0;
  DWORD dwServiceLevel = 0;
  DWORD dwCallsInSvcLvl = 0;
  DWORD dwCallsQueued = 0;
  DWORD dwCallsOverflowed = 0;
  DWORD dwCallsAbandoned = 0;
  DWORD dwCallsAnswered = 0;
  DWORD dwCallsNoAnswer = 0;
  DWORD dwCallsHandled = 0;
  DWORD dwCallsTransferred = 0;
  DWORD dwMinHoldTime = 0;
  DWORD dwMaxHoldTime = 0;
  DWORD dwTotalTalkTime = 0;
  DWORD dwMinTalkTime = 0;
  DWORD dwMaxTalkTime = 0;
  DWORD dwTotalHoldTime = 0;
  DWORD dwAgentsLoggedIn = 0;
};

class COmbixPhoneStateEvent : public COmbixMsg {
 public:
  using COmbixMsg::COmbixMsg;
  DWORD dwMonitorID = 0;
  char strDevice[64] = {};
  DWORD dwEvent = 0;  // PHONE_STATE_*
  OMBIXTIME tEventTime = 0;
  DWORD dwInService = 0;
  DWORD dwDoNotDisturb = 0;
  DWORD dwTotalMessages = 0;
  DWORD dwForwarding = 0;
  DWORD dwRemotePhone = 0;
  DWORD dwRTPStatistics = 0;
  DWORD dwNewMessages = 0;
  DWORD dwOldMessages = 0;
};

// One participant of a MeetMe conference.
struct COmbixMeetMeCall {
  ObjectId m_oidCall = {};
  OMBIXTIME tConnect = 0;
  char strCallerID[32] = {};
  char strCallerInfo[128] = {};
  DWORD dwState = 0;
};

// With dwEvent MEETME_CONF_MODIFIED the conference fields are set and the call list is empty;
// with any other event the call list is set and the conference fields stay 0.
class COmbixMeetMeConferenceEvent : public COmbixMsg {
 public:
  using COmbixMsg::COmbixMsg;
  DWORD dwConferenceID = 0;
  ObjectId oidCall = {};
  DWORD dwEvent = 0;  // MEETME_*
  OMBIXTIME tEventTime = 0;
  DWORD dwCalls = 0;
  std::unique_ptr<COmbixMeetMeCall[]> pCalls;
  OMBIXTIME dwStartTime = 0;
  DWORD dwDuration = 0;
  DWORD dwPorts = 0;
  DWORD dwMaxPortsJoined = 0;
  char strTopic[128] = {};
  DWORD dwLocked = 0;
};

class COmbixCallMediaEvent : public COmbixMsg {
 public:
  using COmbixMsg::COmbixMsg;
  DWORD dwMonitorID = 0;
  char strDevice[32] = {};
  ObjectId oidCall = {};
  DWORD dwEvent = 0;  // CALL_MEDIA_*
  OMBIXTIME tEventTime = 0;
  char strUdpLocal[32] = {};
  char strUdpRemote[32] = {};
  char strPayloadType[32] = {};
  char strMediaType[32] = {};
  char strMediaMode[32] = {};
  DWORD dwPTime = 0;
};

class COmbixClientMonitorEvent : public COmbixMsg {
 public:
  using COmbixMsg::COmbixMsg;
  DWORD dwMonitorID = 0;
  char strDevice[32] = {};
  DWORD dwEvent = 0;  // CLIENT_MONITOR_*
  OMBIXTIME tEventTime = 0;
  char strClient[64] = {};
  char strClientVersion[64] = {};
  char strClientUdp[32] = {};
  DWORD dwMonitorCount = 0;
};

// dwDataLength is the length sent, bounded by kOmbixMaxDatagram; pData holds that many bytes,
// those the datagram carried first and zeros after them (null when the length is 0).
class COmbixDataInterfaceEvent : public COmbixMsg {
 public:
  using COmbixMsg::COmbixMsg;
  DWORD dwMonitorID = 0;
  char strDevice[64] = {};
  char strInterface[32] = {};
  OMBIXTIME tEventTime = 0;
  char strSrcDevice[64] = {};
  char strSrcInstance[64] = {};
  DWORD dwDataType = 0;
  DWORD dwDataLength = 0;
  std::unique_ptr<BYTE[]> pData;
};
