// Decoded switch messages: the base classes and the responses. DecodeMessage (ombix_decoder.h)
// makes one object per received datagram; the link hands it to one callback and deletes it.
//
// Contract: every member starts as 0, an empty string or 12 zero bytes and keeps that when its
// field is missing from the datagram. Strings are zero-terminated in their fixed buffers (a longer
// string is cut). A counted array's count is the number of elements allocated, never more than
// one datagram can hold. A message of a type the decoder does not know is a bare COmbixMsg, which
// has no dwInvokeID or dwError: look at dwMsgType or use OmbixAsResponse before reading those.
#pragma once

#include <memory>

#include "platform/wintypes.h"
#include "switchapi/ombix_wire.h"

class COmbixMsg {
 public:
  explicit COmbixMsg(DWORD dwType = 0) : dwMsgType(dwType) {}
  virtual ~COmbixMsg() = default;
  COmbixMsg(const COmbixMsg&) = delete;
  COmbixMsg& operator=(const COmbixMsg&) = delete;

  DWORD dwMsgType;
};

// A plain response; base of every response.
class COmbixRsp : public COmbixMsg {
 public:
  using COmbixMsg::COmbixMsg;
  DWORD dwInvokeID = 0;
  DWORD dwError = 0;
};

// The response part of a message, or null when it is not a response (events, unknown types).
inline const COmbixRsp* OmbixAsResponse(const COmbixMsg* pMsg) {
  return dynamic_cast<const COmbixRsp*>(pMsg);
}

class COmbixLoginRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  char strAPIVersion[64] = {};
  char strServerVersion[64] = {};
};

class COmbixMonitorRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  DWORD dwMonitorID = 0;
  char strDevice[32] = {};
  DWORD dwDeviceType = 0;
};

class COmbixMonitorSecureRsp : public COmbixMonitorRsp {
 public:
  using COmbixMonitorRsp::COmbixMonitorRsp;
  char strNonce[128] = {};
};

class COmbixMakeCallRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  ObjectId oidCall = {};
};

class COmbixCallDataRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  ObjectId oidCall = {};
  char strKey[64] = {};
  char strValue[128] = {};
  DWORD dwReadOnly = 0;
};

class COmbixCallForwardingRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  char strForwardAll[32] = {};
  char strForwardBusy[32] = {};
  char strForwardNoAnswer[32] = {};
  char strForwardOutOfService[32] = {};
};

struct COmbixLineAppearance {
  char strNumber[32] = {};
  char strName[64] = {};
  DWORD dwDeviceType = 0;
};

class COmbixPhoneConfigRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  char strPhoneType[64] = {};
  DWORD dwMaxCalls = 0;
  DWORD dwConfLimit = 0;
  DWORD dwFeatures = 0;  // PHONE_FEATURES_* flags
  DWORD dwFeaturesEx = 0;
  DWORD dwTimeZone = 0;
  DWORD dwLineAppearances = 0;
  std::unique_ptr<COmbixLineAppearance[]> pLineAppearances;
  char strPhonePassword[512] = {};
  char strPhone[128] = {};
};

class COmbixRemoteModeRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  char strNumber[32] = {};
  DWORD dwEnabled = 0;
  DWORD dwActive = 0;
  DWORD dwAutoEnable = 0;
};

class COmbixCollectDigitsRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  char strDigits[32] = {};
};

struct COmbixRTPStatistics {
  ObjectId oidCall = {};
  ObjectId oidEnd = {};
  char strNumber[32] = {};
  OMBIXTIME tBeginTime = 0;
  OMBIXTIME tEndTime = 0;
  char strCodec[64] = {};
  DWORD dwPacketsSent = 0;
  DWORD dwPacketsReceived = 0;
  DWORD dwPacketsLost = 0;
  DWORD dwJitter = 0;
  DWORD dwAvgLatency = 0;
};

class COmbixRTPStatisticsRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  DWORD dwCount = 0;
  std::unique_ptr<COmbixRTPStatistics[]> pStatistics;
};

inline constexpr DWORD kOmbixMaxSecondaryPhones = 10;

class COmbixQuerySecondaryPhones : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  DWORD dwPhoneCount = 0;  // phones kept, at most kOmbixMaxSecondaryPhones
  char strPhone[kOmbixMaxSecondaryPhones][128] = {};
};

// A list of strings of up to 255 characters each (agent list, directories).
using OMBIXLISTSTRING = char[256];

class COmbixAgentListRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  DWORD dwTotal = 0;
  DWORD dwIndex = 0;
  DWORD dwCount = 0;
  std::unique_ptr<OMBIXLISTSTRING[]> pStrings;
};

class COmbixDirectoryRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  DWORD dwTotal = 0;
  DWORD dwIndex = 0;
  DWORD dwCount = 0;
  std::unique_ptr<OMBIXLISTSTRING[]> pStrings;
};

class COmbixAgentStatsRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  char strAgent[32] = {};
  DWORD dwAgentState = 0;
  OMBIXTIME tStateTime = 0;
  char strQueue[32] = {};
  OMBIXTIME tLoginTime = 0;
  DWORD dwTotalLoginTime = 0;
  DWORD dwTotalReadyTime = 0;
  DWORD dwTotalNotReadyTime = 0;
  DWORD dwTotalAlertingTime = 0;
  DWORD dwTotalTalkTime = 0;
  DWORD dwTotalHoldTime = 0;
  DWORD dwTotalWrapTime = 0;
  DWORD dwTotalOtherTime = 0;
  DWORD dwCallsOffered = 0;
  DWORD dwCallsNoAnswer = 0;
  DWORD dwCallsAbandonedRinging = 0;
  DWORD dwCallsAbandonedHeld = 0;
  DWORD dwCallsAgentRelease = 0;
  DWORD dwCallsAgentHold = 0;
  DWORD dwCallsTransferred = 0;
  DWORD dwCallsOther = 0;
};

class COmbixEventFilterRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  DWORD dwCount = 0;
  std::unique_ptr<DWORD[]> pEventTypes;
};

struct COmbixVoiceMailEntry {
  DWORD dwMsgID = 0;
  char strNumber[32] = {};
  char strName[64] = {};
  OMBIXTIME tTime = 0;
  DWORD dwDuration = 0;  // seconds
  DWORD dwFlags = 0;     // VOICEMAIL_MSG_FLAG_*
};

class COmbixVoiceMailRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  DWORD dwCommand = 0;
  DWORD dwFolderID = 0;
  DWORD dwMsgID = 0;
  DWORD dwTotal = 0;
  DWORD dwIndex = 0;
  DWORD dwCount = 0;
  std::unique_ptr<COmbixVoiceMailEntry[]> pEntries;
};

// One registered instance of a data interface: its device, instance and client.
struct COmbixDataInterfaceInstance {
  char strDevice[32] = {};
  char strInstance[64] = {};
  char strClient[64] = {};
};

class COmbixDataInterfaceQueryRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  char strInterface[64] = {};
  char strDstDevice[32] = {};
  DWORD dwInstances = 0;
  std::unique_ptr<COmbixDataInterfaceInstance[]> pInstances;
};

class COmbixApplicationDataRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  char strApplication[64] = {};
  char strValue[1024] = {};
};

class COmbixPlayPromptRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  char strFiles[64] = {};
  char strPayloadType[64] = {};
};

class COmbixMeetMeRsp : public COmbixRsp {
 public:
  using COmbixRsp::COmbixRsp;
  DWORD dwConferenceID = 0;
};

class COmbixMeetMeMonitorRsp : public COmbixMeetMeRsp {
 public:
  using COmbixMeetMeRsp::COmbixMeetMeRsp;
  DWORD dwModerator = 0;
};

class COmbixMeetMeQueryRsp : public COmbixMeetMeRsp {
 public:
  using COmbixMeetMeRsp::COmbixMeetMeRsp;
  DWORD dwGuestID = 0;
  OMBIXTIME dwStartTime = 0;
  DWORD dwDuration = 0;
  DWORD dwPorts = 0;
  DWORD dwMaxPortsJoined = 0;
  char strTopic[128] = {};
  char strJoinDID[32] = {};
  DWORD dwLocked = 0;
};
