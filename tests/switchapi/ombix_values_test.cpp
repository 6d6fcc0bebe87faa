#include "switchapi/ombix_values.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

struct NameCase {
  const char* what;
  std::string actual;
  const char* expected;
};

TEST(OmbixValuesTest, NamesAndFallbacks) {
  const std::vector<NameCase> cases = {
      {"error 0", ErrorName(0), "0"},
      {"error 1", ErrorName(1), "OMBIX_ERROR_INVALID_PASSWORD"},
      {"error 56", ErrorName(56), "OMBIX_ERROR_FILE_DOES_NOT_EXIST"},
      {"error 57", ErrorName(57), "57"},
      {"state -1", ConnectionStateName(-1), "CS_UNKNOWN"},
      {"state -2", ConnectionStateName(-2), "-2"},
      {"state 9", ConnectionStateName(9), "CS_REMOTE_IDLE"},
      {"state 10", ConnectionStateName(10), "10"},
      {"type 0", MessageTypeName(0), "OMBIX_UNKNOWN_MSG"},
      {"type 365", MessageTypeName(365), "365"},
      {"type 511", MessageTypeName(511), "OMBIX_FAILURE_RSP"},
      {"type 789", MessageTypeName(789), "OMBIX_MEETME_HAND_RAISE_ACK_RSP"},
      {"type top bit", MessageTypeName(0x80000000u), "-2147483648"},
      {"forward 3", ForwardModeName(3), "CALL_FORWARD_OUT_OF_SERVICE"},
      {"forward 4", ForwardModeName(4), "UNKNOWN"},
      {"phone state 9", PhoneStateEventName(9), "PHONE_STATE_DELETED"},
      {"phone state 10", PhoneStateEventName(10), "UNKNOWN"},
      {"redirect 0", RedirectTargetName(0), "UNKNOWN"},
      {"redirect 6", RedirectTargetName(6), "REDIRECT_TO_MEETME"},
      {"meetme 4", MeetMeEventName(4), "MEETME_CONF_MODIFIED"},
      {"meetme 5", MeetMeEventName(5), "UNKNOWN"},
      {"agent 13", AgentStateName(13), "AGENT_DIRECT"},
      {"agent 14", AgentStateName(14), "14"},
      {"client monitor 0", ClientMonitorEventName(0), "0"},
      {"client monitor 2", ClientMonitorEventName(2), "CLIENT_MONITOR_STOP"},
      {"call event 13", CallConnectionEventName(13), "CALL_CONNECTION_PASSIVE"},
      {"call event 14", CallConnectionEventName(14), "14"},
      {"device 24", DeviceTypeName(24), "DEVICE_TYPE_BROADCAST"},
      {"device 25", DeviceTypeName(25), "25"},
      {"cause 23", EventCauseName(23), "EC_LINE_APPEARANCE"},
      {"cause 24", EventCauseName(24), "24"},
      {"media 3", CallMediaEventName(3), "CALL_MEDIA_STOP"},
      {"media 0", CallMediaEventName(0), "0"},
      {"voice mail command 4", VoiceMailCommandName(4), "VOICEMAIL_MSG_DELETE"},
      {"voice mail command 5", VoiceMailCommandName(5), "5"},
      {"folder 1", VoiceMailFolderName(1), "VOICEMAIL_SAVED"},
      {"folder 2", VoiceMailFolderName(2), "2"},
  };
  for (const NameCase& c : cases) EXPECT_EQ(c.actual, c.expected) << c.what;
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
