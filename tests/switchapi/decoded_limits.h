// What any decoded message must satisfy, whatever the datagram: every list count within what one
// datagram can hold, a list present exactly when its count is not 0, and fixed strings ended
// inside their buffers. Shared by the randomised decoder test and the fuzz target.
#pragma once

#include <cstring>
#include <string>

#include "switchapi/ombix_decoder.h"

namespace ombix_test {

// The first broken limit of the message, described; empty when it keeps them all.
inline std::string DecodedLimitViolation(const COmbixMsg& msg) {
  std::string problem;
  auto bounded = [&]<class T, class Element>(DWORD T::*count, Element T::*array, DWORD dwMinSize,
                                             const char* pszName) {
    const T* p = dynamic_cast<const T*>(&msg);
    if (p == nullptr || !problem.empty()) return;
    if (p->*count > OmbixMaxElements(dwMinSize)) {
      problem = std::string(pszName) + " count " + std::to_string(p->*count) + " too large";
    } else if ((p->*count == 0) != (p->*array == nullptr)) {
      problem = std::string(pszName) + " list and count disagree";
    }
  };
  bounded(&COmbixCallConnectionEvent::dwConnectionCount, &COmbixCallConnectionEvent::pConnections,
          kOmbixConnectionMinSize, "connections");
  bounded(&COmbixMeetMeConferenceEvent::dwCalls, &COmbixMeetMeConferenceEvent::pCalls,
          kOmbixMeetMeCallMinSize, "meet-me calls");
  bounded(&COmbixRTPStatisticsRsp::dwCount, &COmbixRTPStatisticsRsp::pStatistics,
          kOmbixRTPStatisticsMinSize, "RTP statistics");
  bounded(&COmbixPhoneConfigRsp::dwLineAppearances, &COmbixPhoneConfigRsp::pLineAppearances,
          kOmbixLineAppearanceMinSize, "line appearances");
  bounded(&COmbixVoiceMailRsp::dwCount, &COmbixVoiceMailRsp::pEntries, kOmbixVoiceMailEntryMinSize,
          "voice-mail entries");
  bounded(&COmbixDataInterfaceQueryRsp::dwInstances, &COmbixDataInterfaceQueryRsp::pInstances,
          kOmbixDataInterfaceInstanceMinSize, "instances");
  bounded(&COmbixAgentListRsp::dwCount, &COmbixAgentListRsp::pStrings, kOmbixStringMinSize,
          "agents");
  bounded(&COmbixDirectoryRsp::dwCount, &COmbixDirectoryRsp::pStrings, kOmbixStringMinSize,
          "directory strings");
  bounded(&COmbixEventFilterRsp::dwCount, &COmbixEventFilterRsp::pEventTypes, kOmbixDwordSize,
          "event types");
  bounded(&COmbixDataInterfaceEvent::dwDataLength, &COmbixDataInterfaceEvent::pData,
          kOmbixDataByteSize, "data bytes");
  if (!problem.empty()) return problem;
  if (const auto* p = dynamic_cast<const COmbixQuerySecondaryPhones*>(&msg)) {
    if (p->dwPhoneCount > kOmbixMaxSecondaryPhones) return "secondary phones count too large";
  }
  if (const auto* p = dynamic_cast<const COmbixCallConnectionEvent*>(&msg)) {
    for (DWORD i = 0; i < p->dwConnectionCount; ++i) {
      const char* pszName = p->pConnections[i].strName;
      if (strnlen(pszName, sizeof(p->pConnections[i].strName)) ==
          sizeof(p->pConnections[i].strName))
        return "connection name not ended";
    }
    if (strnlen(p->strActivePhone, sizeof(p->strActivePhone)) == sizeof(p->strActivePhone))
      return "active phone not ended";
  }
  return problem;
}

}  // namespace ombix_test
