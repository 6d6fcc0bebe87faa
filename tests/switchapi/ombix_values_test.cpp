#include "switchapi/ombix_values.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Each value set's last name and the value past it, which falls back to its decimal or to
// "UNKNOWN" as the set has it; and the gaps and signs where a set has them.
TEST(OmbixValuesTest, NamesAndFallbacks) {
  const struct {
    LPCSTR (*name)(DWORD);
    std::vector<std::pair<DWORD, const char*>> values;
  } cases[] = {
      {ErrorName,
       {{0, "0"},
        {1, "OMBIX_ERROR_INVALID_PASSWORD"},
        {56, "OMBIX_ERROR_FILE_DOES_NOT_EXIST"},
        {57, "57"}}},
      {[](DWORD v) { return ConnectionStateName(static_cast<LONG>(v)); },
       {{0xFFFFFFFF, "CS_UNKNOWN"}, {0xFFFFFFFE, "-2"}, {9, "CS_REMOTE_IDLE"}, {10, "10"}}},
      {MessageTypeName,
       {{0, "OMBIX_UNKNOWN_MSG"},
        {365, "365"},
        {511, "OMBIX_FAILURE_RSP"},
        {789, "OMBIX_MEETME_HAND_RAISE_ACK_RSP"},
        {0x80000000u, "-2147483648"}}},
      {ForwardModeName, {{3, "CALL_FORWARD_OUT_OF_SERVICE"}, {4, "UNKNOWN"}}},
      {PhoneStateEventName, {{9, "PHONE_STATE_DELETED"}, {10, "UNKNOWN"}}},
      {RedirectTargetName, {{0, "UNKNOWN"}, {6, "REDIRECT_TO_MEETME"}}},
      {MeetMeEventName, {{4, "MEETME_CONF_MODIFIED"}, {5, "UNKNOWN"}}},
      {AgentStateName, {{13, "AGENT_DIRECT"}, {14, "14"}}},
      {ClientMonitorEventName, {{0, "0"}, {2, "CLIENT_MONITOR_STOP"}}},
      {CallConnectionEventName, {{13, "CALL_CONNECTION_PASSIVE"}, {14, "14"}}},
      {DeviceTypeName, {{24, "DEVICE_TYPE_BROADCAST"}, {25, "25"}}},
      {EventCauseName, {{23, "EC_LINE_APPEARANCE"}, {24, "24"}}},
      {CallMediaEventName, {{3, "CALL_MEDIA_STOP"}, {0, "0"}}},
      {VoiceMailCommandName, {{4, "VOICEMAIL_MSG_DELETE"}, {5, "5"}}},
      {VoiceMailFolderName, {{1, "VOICEMAIL_SAVED"}, {2, "2"}}},
  };
  for (const auto& c : cases) {
    for (const auto& [dwValue, pszName] : c.values) {
      EXPECT_STREQ(c.name(dwValue), pszName) << "value " << dwValue << " of set " << &c - cases;
    }
  }
}

TEST(OmbixValuesTest, MessageTypesHave163NamesAndResponsesFollowTheirRequests) {
  int named = 0;
  for (DWORD type = 0; type < 1024; ++type) {
    const std::string name = MessageTypeName(type);
    if (name == std::to_string(type)) continue;
    ++named;
    if (type >= 256 && type != 511) {
      const bool request = type % 2 == 0;
      const std::string stem = name.substr(0, name.size() - 4);
      EXPECT_EQ(name.substr(name.size() - 4), request ? "_REQ" : "_RSP") << type;
      const std::string partner = MessageTypeName(request ? type + 1 : type - 1);
      EXPECT_EQ(partner, stem + (request ? "_RSP" : "_REQ")) << type;
    }
  }
  EXPECT_EQ(named, 163);
}

// The decimal fallback is the calling thread's own: a name never reads as another thread's value.
TEST(OmbixValuesTest, FallbackTextIsPerThread) {
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &mismatches] {
      for (int i = 0; i < 2000; ++i) {
        const DWORD value = 1000u + static_cast<DWORD>(t) * 100000u + static_cast<DWORD>(i);
        const char* text = ErrorName(value);
        std::this_thread::yield();
        if (std::string(text) != std::to_string(value)) ++mismatches;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
